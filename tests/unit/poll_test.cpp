#include <cfloat>
#include <climits>
#include <cstring>

#include "module_fixture.h"

namespace {

class PollTest : public ModuleTest {
  protected:
    void SetUp() override { ReadyToPoll(); }

    // A fresh module, described, on processors whose status reads 60 degrees.
    static void ReadyToPoll() {
        FreshModule();
        LoadAndInitialise();
        Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(40)});
    }
};

TEST_F(PollTest, MakesTheAffinityCallsThenReadsOnTheBoundProcessor) {
    EXPECT_EQ(GetSourceData(2), 60.0f);
    EXPECT_EQ(Fake().calls, (std::vector<Call>{
                                {Op::SystemAffinityMask},
                                {.op = Op::SetProcessAffinity, .mask = 0xF},
                                {.op = Op::BindThread, .mask = 0x4},
                                {.op = Op::ReadMsr, .msr = hw::kThermStatus, .processor = 2},
                            }));
}

TEST_F(PollTest, LeavesTheThreadOnTheLastProcessorAndTheProcessWidened) {
    ASSERT_EQ(GetSourceData(0), 60.0f);
    ASSERT_EQ(GetSourceData(3), 60.0f);
    EXPECT_EQ(Fake().thread_mask, AffinityMask{0x8});
    EXPECT_EQ(Fake().process_mask, Fake().system_mask);
}

TEST_F(PollTest, IndexesOutsideTheSlotsAnswerFltMaxWithoutAnyCallOrChange) {
    const SensorState before = g_sensor_state;
    for (int32_t index : {-1, 32, 33, 64, INT_MAX, INT_MIN}) {
        EXPECT_EQ(FloatBits(GetSourceData(index)), kFltMaxBits) << index;
    }
    EXPECT_TRUE(Fake().calls.empty());
    EXPECT_EQ(std::memcmp(&before, &g_sensor_state, sizeof(before)), 0);
}

TEST_F(PollTest, IndexWithoutAProcessorFailsAtBinding) {
    // Four processors: bits 4..31 are not in the system's set.
    for (int32_t index : {4, 31}) {
        Fake().calls.clear();
        EXPECT_EQ(FloatBits(GetSourceData(index)), kFltMaxBits) << index;
        EXPECT_EQ(Fake().Ops(), (std::vector<Op>{Op::SystemAffinityMask, Op::SetProcessAffinity, Op::BindThread}));
    }
}

TEST_F(PollTest, EachFailingStepAnswersFltMaxAndStopsThere) {
    const struct {
        const char *label;
        bool FakePlatform::*failure;  // null: ReadMSR fails
        size_t calls_made;
    } cases[] = {
        {"process masks unreadable", &FakePlatform::system_mask_fails, 1},
        {"process mask not settable", &FakePlatform::set_process_affinity_fails, 2},
        {"thread not bindable", &FakePlatform::bind_thread_fails, 3},
        {"ReadMSR fails", nullptr, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ReadyToPoll();
        ASSERT_EQ(GetSourceData(1), 60.0f);
        Fake().calls.clear();
        if (c.failure != nullptr) {
            Fake().*c.failure = true;
        } else {
            Fake().SetMsr(hw::kThermStatus, 1, {false, 0});
        }
        EXPECT_EQ(FloatBits(GetSourceData(1)), kFltMaxBits);
        EXPECT_EQ(Fake().calls.size(), c.calls_made);
        EXPECT_EQ(g_sensor_state.last_readings[1], 60.0f) << "the stored reading stays";
    }
}

TEST_F(ModuleTest, WithoutTheSensorPollsMakeNoCallAtAll) {
    Fake().ScriptCpu("AuthenticAMD", 0x10, 0x1);
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, 0});
    Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(40)});
    Load();
    EXPECT_EQ(Describe(), 0);
    Fake().calls.clear();
    for (int32_t index = 0; index < 4; ++index) {
        EXPECT_EQ(FloatBits(GetSourceData(index)), kFltMaxBits);
    }
    EXPECT_TRUE(Fake().calls.empty());
}

TEST_F(ModuleTest, PollBeforeAnyDescriptionAnswersFltMaxWithoutAnyCall) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(40)});
    Load();
    Fake().calls.clear();
    EXPECT_EQ(FloatBits(GetSourceData(0)), kFltMaxBits);
    EXPECT_TRUE(Fake().calls.empty());
}

TEST_F(ModuleTest, AWideSystemSetIsPassedOnWhole) {
    if (sizeof(AffinityMask) < 8) GTEST_SKIP() << "needs 64-bit masks";
    Fake().Reset(40);
    LoadAndInitialise();
    Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(40)});
    ASSERT_EQ(GetSourceData(31), 60.0f);
    EXPECT_EQ(Fake().process_mask, Fake().system_mask);
    EXPECT_EQ(Fake().thread_mask, AffinityMask{1} << 31);
}

}  // namespace
