#include <cfloat>
#include <cstring>

#include "module_fixture.h"

namespace {

using Ops = std::vector<Op>;

bool Untouched(const HostRecord &record, uint32_t version) {
    const HostRecord filled = FilledRecord(version);
    return std::memcmp(record.bytes, filled.bytes, kBytes) == 0;
}

enum class Cause { NoReadMsrExport, NoSensor, ReaderReadsNothing };

struct FailureCase {
    const char *label;
    Cause cause;
    Ops first_attempt;  // the platform calls of one failed initialisation
};

void PrintTo(const FailureCase &c, std::ostream *out) { *out << c.label; }

class InitialisationFailure : public ModuleTest, public testing::WithParamInterface<FailureCase> {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        const Cause cause = GetParam().cause;
        if (cause == Cause::NoSensor) {
            Fake().ScriptCpu("GenuineIntel", 0x16, 0x0);
        } else {
            Fake().ScriptIntelWithSensor();
        }
        Fake().host_has_read_msr = cause != Cause::NoReadMsrExport;
        // A reader that reads nothing: neither 0xEE nor the thermal status.
        if (cause != Cause::ReaderReadsNothing) {
            Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, hw::kTjMax85Bit});
            Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(20)});
        }
        Load();
        Fake().calls.clear();
    }
};

TEST_P(InitialisationFailure, AnswersZeroWithTheRecordUntouchedAndRetriesEveryTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        Fake().calls.clear();
        HostRecord record = FilledRecord(0x00010002u);
        EXPECT_EQ(GetSourceDesc(0, record.as<SourceDesc>()), 0);
        EXPECT_TRUE(Untouched(record, 0x00010002u));
        EXPECT_EQ(Fake().Ops(), GetParam().first_attempt);
    }
    EXPECT_EQ(g_sensor_state.read_msr, nullptr);
    EXPECT_EQ(FloatBits(g_sensor_state.tj_max), FloatBits(100.0f));
}

TEST_P(InitialisationFailure, PollsAnswerFltMaxWithoutTouchingThePlatform) {
    HostRecord record = FilledRecord(0);
    ASSERT_EQ(GetSourceDesc(0, record.as<SourceDesc>()), 0);
    Fake().calls.clear();

    for (int32_t index : {0, 1, 3}) {
        EXPECT_EQ(FloatBits(GetSourceData(index)), kFltMaxBits) << index;
    }
    EXPECT_TRUE(Fake().calls.empty());
    EXPECT_EQ(Fake().thread_mask, AffinityMask{0}) << "the thread was never bound";
    EXPECT_EQ(Fake().process_mask, AffinityMask{0x1}) << "the process mask was never widened";
}

INSTANTIATE_TEST_SUITE_P(
    EachCause, InitialisationFailure,
    testing::Values(FailureCase{"NoReadMsrExport", Cause::NoReadMsrExport, {Op::FindHostReadMsr}},
                    FailureCase{"NoSensor", Cause::NoSensor, {Op::FindHostReadMsr}},
                    FailureCase{"ReaderReadsNothing", Cause::ReaderReadsNothing,
                                {Op::FindHostReadMsr, Op::ReadMsr, Op::ReadMsr}}),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.label); });

TEST_F(ModuleTest, RetrySucceedsOnceTheReaderWorksAndTakesItsBase) {
    Fake().ScriptIntelWithSensor();
    Load();
    for (int attempt = 0; attempt < 2; ++attempt) {
        HostRecord record = FilledRecord(0x00010002u);
        ASSERT_EQ(GetSourceDesc(0, record.as<SourceDesc>()), 0);  // the reader reads nothing yet
        EXPECT_TRUE(Untouched(record, 0x00010002u));
        EXPECT_EQ(FloatBits(GetSourceData(0)), kFltMaxBits);
    }

    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, hw::kTjMax85Bit});
    Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(35)});
    EXPECT_EQ(Describe(), 1);
    EXPECT_EQ(g_sensor_state.read_msr, FakeHostReadMsr());
    EXPECT_EQ(GetSourceData(2), 50.0f);
}

// 0xEE does not read but the thermal status does: the part has no 0xEE.
// The default base holds for good and this very description succeeds.
TEST_F(ModuleTest, WithoutRegisterEEAReadableStatusKeepsBase100ForGood) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsr(hw::kThermStatus, 0, {true, 0});  // read where the thread is, not valid: any answer will do
    Fake().SetMsr(hw::kThermStatus, 1, {true, ValidStatus(35)});
    Load();
    Fake().calls.clear();

    HostRecord record = FilledRecord(0x00010002u);
    ASSERT_EQ(GetSourceDesc(3, record.as<SourceDesc>()), 1);
    EXPECT_EQ(expected_record::FirstDifference(record, expected_record::AfterDescription(0x00010002u, 3)), -1);
    EXPECT_EQ(Fake().calls, (std::vector<Call>{{Op::FindHostReadMsr},
                                               {.op = Op::ReadMsr, .msr = 0xEE, .processor = 0},
                                               {.op = Op::ReadMsr, .msr = 0x19C, .processor = 0}}));
    EXPECT_EQ(FloatBits(g_sensor_state.tj_max), 0x42C80000u);  // 100.0

    // Settled: a register 0xEE that reads later changes nothing.
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, hw::kTjMax85Bit});
    Fake().calls.clear();
    EXPECT_EQ(Describe(1), 1);
    EXPECT_TRUE(Fake().calls.empty());
    EXPECT_EQ(GetSourceData(1), 65.0f);
    EXPECT_EQ(FloatBits(g_sensor_state.tj_max), 0x42C80000u);
}

TEST_F(ModuleTest, RetrySucceedsOnceTheHostExportsReadMsr) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, 0});
    Fake().host_has_read_msr = false;
    Load();
    ASSERT_EQ(Describe(), 0);

    Fake().host_has_read_msr = true;
    EXPECT_EQ(Describe(), 1);
}

TEST_F(ModuleTest, AfterSuccessNothingIsRerunAndTheBaseNeverChanges) {
    LoadAndInitialise(hw::kTjMax85Bit);
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, 0});  // would say 100 if asked again

    for (int32_t index = 0; index < 4; ++index) {
        EXPECT_EQ(Describe(index), 1);
    }
    EXPECT_TRUE(Fake().calls.empty());
    EXPECT_EQ(FloatBits(g_sensor_state.tj_max), 0x42AA0000u);  // 85.0
}

TEST_F(ModuleTest, OnlyBit30OfRegisterEEChoosesTheBase) {
    const struct {
        uint32_t value;
        uint32_t tj_max_bits;
    } cases[] = {
        {0x00000000u, 0x42C80000u},  // 100.0
        {0x40000000u, 0x42AA0000u},  // 85.0
        {0xBFFFFFFFu, 0x42C80000u},
        {0xFFFFFFFFu, 0x42AA0000u},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.value);
        FreshModule();
        LoadAndInitialise(c.value);
        EXPECT_EQ(FloatBits(g_sensor_state.tj_max), c.tj_max_bits);
    }
}

TEST_F(ModuleTest, RegisterEEIsReadOnceThroughTheHostsReadMsr) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, 0});
    Load();
    Fake().calls.clear();
    ASSERT_EQ(Describe(), 1);
    ASSERT_EQ(Describe(1), 1);
    EXPECT_EQ(Fake().calls, (std::vector<Call>{{Op::FindHostReadMsr}, {.op = Op::ReadMsr, .msr = hw::kTjMaxSelect, .processor = 0}}));
}

}  // namespace
