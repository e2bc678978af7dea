// Each test starts from a freshly loaded module: the fake reset and the
// state record put back to the values the image was loaded with.
#ifndef DIETHERM_TESTS_MODULE_FIXTURE_H
#define DIETHERM_TESTS_MODULE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "dietherm.h"
#include "expected_record.h"
#include "fake_platform.h"
#include "plugin/load_notification.h"
#include "sensor/sensor_state.h"

// The state record exactly as the loader mapped it in, captured before any test ran.
const SensorState &LoadTimeState();

inline uint32_t FloatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

constexpr uint32_t kFltMaxBits = 0x7F7FFFFFu;

// The registers as Intel's Software Developer's Manual defines them: an
// independent copy, never the module's own header, so a wrong constant there
// fails here.
namespace hw {
constexpr uint32_t kTjMaxSelect = 0xEE;
constexpr uint32_t kTjMax85Bit = 0x40000000u;  // bit 30
constexpr uint32_t kThermStatus = 0x19C;       // IA32_THERM_STATUS
constexpr uint32_t kReadingValidBit = 0x80000000u;  // bit 31; the readout is bits 22..16
}  // namespace hw

// IA32_THERM_STATUS with Reading Valid set and this many degrees below TjMax.
constexpr uint32_t ValidStatus(uint32_t degrees_below) { return hw::kReadingValidBit | (degrees_below << 16); }

using expected_record::HostRecord;
using expected_record::kBytes;

inline HostRecord FilledRecord(uint32_t version) { return expected_record::Filled(version); }

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override { FreshModule(); }

    // A newly loaded module on a new fake: for each case of a table.
    static void FreshModule() {
        Fake().Reset();
        g_sensor_state = LoadTimeState();
    }

    static void Load() { ASSERT_EQ(DllMain(nullptr, DIETHERM_PROCESS_ATTACH, nullptr), 1); }

    static int32_t Describe(int32_t index = 0) {
        SourceDesc desc{};
        desc.version = SOURCE_DESC_VERSION_WITH_GROUP;
        return GetSourceDesc(index, &desc);
    }

    // An Intel processor with the sensor, loaded and described once, with
    // register 0xEE answering `tj_max_select`; the call log starts empty.
    static void LoadAndInitialise(uint32_t tj_max_select = 0) {
        Fake().ScriptIntelWithSensor();
        Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, tj_max_select});
        Load();
        ASSERT_EQ(Describe(), 1);
        Fake().calls.clear();
    }
};

#endif  // DIETHERM_TESTS_MODULE_FIXTURE_H
