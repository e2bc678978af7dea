#include "module_fixture.h"

namespace {
// Namespace-scope copy, made before main: g_sensor_state is constant-
// initialised, so it already holds its load-time values here.
const SensorState kLoadTimeState = g_sensor_state;
}  // namespace

const SensorState &LoadTimeState() { return kLoadTimeState; }
