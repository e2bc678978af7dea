// The module's one process-wide record. It starts from initialised data and
// no field is ever reset.
#ifndef DIETHERM_SENSOR_STATE_H
#define DIETHERM_SENSOR_STATE_H

#include <stdint.h>

#include "platform/platform.h"

#define SENSOR_SOURCE_LIMIT 32

struct SensorState {
    int32_t dts_supported;          // the processor has the Digital Thermal Sensor
    ReadMsrFunction read_msr;       // the host's reader, set once sensor access is fully set up
    float tj_max;                   // degrees Celsius the readout counts down from
    float last_readings[SENSOR_SOURCE_LIMIT];  // last valid reading per source, FLT_MAX if none
};

extern SensorState g_sensor_state;

#endif  // DIETHERM_SENSOR_STATE_H
