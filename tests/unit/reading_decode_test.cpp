#include <cfloat>

#include "module_fixture.h"

namespace {

constexpr int kSource = 1;

class ReadingTest : public ModuleTest {
  protected:
    static void Status(MsrAnswer answer) { Fake().SetMsr(hw::kThermStatus, kSource, answer); }
    static float Poll() { return GetSourceData(kSource); }
    static float Slot() { return g_sensor_state.last_readings[kSource]; }
};

TEST_F(ReadingTest, ReadoutCountsDownFromEitherBase) {
    const struct {
        uint32_t register_ee;
        uint32_t readout;
        float expected;
    } cases[] = {
        {0, 0, 100.0f},  {0, 35, 65.0f},  {0, 127, -27.0f},
        {hw::kTjMax85Bit, 0, 85.0f}, {hw::kTjMax85Bit, 35, 50.0f}, {hw::kTjMax85Bit, 127, -42.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "0xEE=" << std::hex << c.register_ee << std::dec << " readout " << c.readout);
        FreshModule();
        LoadAndInitialise(c.register_ee);
        Status({true, ValidStatus(c.readout)});
        EXPECT_EQ(FloatBits(Poll()), FloatBits(c.expected));
        EXPECT_EQ(FloatBits(Slot()), FloatBits(c.expected));
    }
}

TEST_F(ReadingTest, BitsOutsideValidAndReadoutAreIgnored) {
    LoadAndInitialise();
    const uint32_t noise[] = {0x0000FFFFu, 0x7F800000u, 0x7F80FFFFu, 0x00005A5Au};
    for (uint32_t bits : noise) {
        Status({true, ValidStatus(35) | bits});
        EXPECT_EQ(Poll(), 65.0f) << std::hex << bits;
    }
}

TEST_F(ReadingTest, InvalidReadingAnswersTheLastValidOneWithoutStoring) {
    LoadAndInitialise();

    Status({true, ValidStatus(10) & ~hw::kReadingValidBit});
    EXPECT_EQ(FloatBits(Poll()), kFltMaxBits) << "no valid reading yet";
    EXPECT_EQ(FloatBits(Slot()), kFltMaxBits);

    Status({true, ValidStatus(39)});
    EXPECT_EQ(Poll(), 61.0f);

    Status({true, ValidStatus(5) & ~hw::kReadingValidBit});
    EXPECT_EQ(Poll(), 61.0f);
    EXPECT_EQ(Slot(), 61.0f);
}

TEST_F(ReadingTest, FailedReadAnswersFltMaxAndKeepsTheStoredReading) {
    LoadAndInitialise();
    Status({true, ValidStatus(39)});
    ASSERT_EQ(Poll(), 61.0f);

    Status({false, ValidStatus(20)});
    EXPECT_EQ(FloatBits(Poll()), kFltMaxBits);
    EXPECT_EQ(Slot(), 61.0f);
}

TEST_F(ModuleTest, EachSourceReadsItsOwnProcessorAndKeepsItsOwnSlot) {
    LoadAndInitialise();
    for (int processor = 0; processor < 4; ++processor) {
        Fake().SetMsr(hw::kThermStatus, processor, {true, ValidStatus(static_cast<uint32_t>(10 * processor))});
    }
    for (int32_t index = 0; index < 4; ++index) {
        EXPECT_EQ(GetSourceData(index), 100.0f - 10.0f * static_cast<float>(index));
    }
    for (int32_t index = 0; index < 4; ++index) {
        EXPECT_EQ(g_sensor_state.last_readings[index], 100.0f - 10.0f * static_cast<float>(index));
    }
    for (int32_t index = 4; index < 32; ++index) {
        EXPECT_EQ(FloatBits(g_sensor_state.last_readings[index]), kFltMaxBits);
    }
}

TEST_F(ModuleTest, The85BaseHoldsForEveryLaterReadingOfEverySource) {
    LoadAndInitialise(hw::kTjMax85Bit);
    Fake().SetMsrEverywhere(hw::kThermStatus, {true, ValidStatus(25)});
    for (int round = 0; round < 3; ++round) {
        for (int32_t index = 0; index < 4; ++index) {
            EXPECT_EQ(GetSourceData(index), 60.0f);
        }
    }
}

}  // namespace
