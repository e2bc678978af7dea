// What the plug-in layer asks of the sensor: the probe at load, sensor
// access set up on first use, and a reading per poll. SensorState and its
// rules stay behind these.
#ifndef DIETHERM_SENSOR_ACCESS_H
#define DIETHERM_SENSOR_ACCESS_H

#include <stdint.h>

// At process attach: probes the processor once; its answer stands for
// every processor for the life of the process.
void AttachSensor();

// True once sensor access is set up; while it is not, runs
// InitSensorAccess, so a failed attempt is retried on the next call.
bool EnsureSensorAccess();

// Finds the host's ReadMSR and fixes tj_max from register 0xEE (100 degrees
// when 0xEE does not read but the thermal status does). True once both are
// done; until then false, and every call tries again from the start.
bool InitSensorAccess();

// Temperature of processor `index` in degrees Celsius, its last valid
// reading when the sensor says the current one is not valid, or FLT_MAX.
float ReadCoreTemperature(int32_t index);

#endif  // DIETHERM_SENSOR_ACCESS_H
