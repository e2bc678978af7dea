#include <climits>
#include <cstring>

#include "module_fixture.h"

namespace {

class DescriptorTest : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        LoadAndInitialise();
    }
};

TEST_F(DescriptorTest, WritesOnlyItsFieldsForEveryVersionAndIndex) {
    const uint32_t versions[] = {0, 0x00010001u, 0x00010002u, 0xFFFFFFFFu};
    const int32_t indexes[] = {0, 31, -1, INT_MIN, INT_MAX, 32};
    for (uint32_t version : versions) {
        for (int32_t index : indexes) {
            SCOPED_TRACE(testing::Message() << "version 0x" << std::hex << version << std::dec << ", index " << index);
            HostRecord record = FilledRecord(version);
            ASSERT_EQ(GetSourceDesc(index, record.as<SourceDesc>()), 1);
            EXPECT_EQ(expected_record::FirstDifference(record, expected_record::AfterDescription(version, index)), -1);
        }
    }
}

TEST_F(DescriptorTest, NamesCarryTheIndexAsSignedDecimal) {
    const struct {
        int32_t index;
        const char *name;
    } cases[] = {
        {0, "CPU0 temperature"},
        {31, "CPU31 temperature"},
        {-1, "CPU-1 temperature"},
        {INT_MIN, "CPU-2147483648 temperature"},
        {INT_MAX, "CPU2147483647 temperature"},
    };
    for (const auto &c : cases) {
        HostRecord record = FilledRecord(0);
        ASSERT_EQ(GetSourceDesc(c.index, record.as<SourceDesc>()), 1);
        EXPECT_STREQ(record.as<SourceDesc>()->name, c.name);
    }
}

TEST_F(DescriptorTest, DescriptionNeedsNoPlatformCallOnceInitialised) {
    HostRecord record = FilledRecord(0x00010002u);
    ASSERT_EQ(GetSourceDesc(3, record.as<SourceDesc>()), 1);
    EXPECT_TRUE(Fake().calls.empty());
}

TEST_F(ModuleTest, NullRecordAnswersZeroAndDoesNothingElse) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, hw::kTjMax85Bit});
    Load();
    Fake().calls.clear();
    const SensorState before = g_sensor_state;

    EXPECT_EQ(GetSourceDesc(0, nullptr), 0);

    EXPECT_TRUE(Fake().calls.empty()) << "no initialisation runs for a null record";
    EXPECT_EQ(std::memcmp(&before, &g_sensor_state, sizeof(before)), 0);
}

TEST_F(ModuleTest, SourcesAreTheProcessorCountUpTo32) {
    const struct {
        uint32_t processors;
        int32_t sources;
    } cases[] = {{1, 1}, {4, 4}, {31, 31}, {32, 32}, {33, 32}, {64, 32}, {256, 32}};
    for (const auto &c : cases) {
        Fake().Reset(c.processors);
        EXPECT_EQ(GetSourcesNum(), c.sources) << c.processors << " processors";
    }
}

TEST_F(ModuleTest, SourceCountDoesNotDependOnTheSensor) {
    Fake().Reset(6);
    Fake().ScriptCpu("AuthenticAMD", 0x10, 0x1);
    Load();
    EXPECT_EQ(GetSourcesNum(), 6);
}

}  // namespace
