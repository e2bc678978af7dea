#include "module_fixture.h"

namespace {
// Namespace-scope copy, made before main: g_sensor_state is constant-
// initialised, so it already holds its load-time values here.
const SensorState kLoadTimeState = g_sensor_state;
}  // namespace

const SensorState &LoadTimeState() { return kLoadTimeState; }

TEST(SensorStateAtLoad, ComesFromInitialisedData) {
    EXPECT_EQ(kLoadTimeState.dts_supported, 0);
    EXPECT_EQ(kLoadTimeState.read_msr, nullptr);
    EXPECT_EQ(FloatBits(kLoadTimeState.tj_max), 0x42C80000u);
    for (float slot : kLoadTimeState.last_readings) {
        EXPECT_EQ(FloatBits(slot), kFltMaxBits);
    }
}
