#ifndef DIETHERM_SENSOR_ACCESS_H
#define DIETHERM_SENSOR_ACCESS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Finds the host's ReadMSR and fixes tj_max from register 0xEE (100 degrees
// when 0xEE does not read but the thermal status does). 1 once both are
// done; until then 0, and every call tries again from the start.
int32_t InitSensorAccess(void);

// Temperature of processor `index` in degrees Celsius, its last valid
// reading when the sensor says the current one is not valid, or FLT_MAX.
float ReadCoreTemperature(int32_t index);

#ifdef __cplusplus
}
#endif

#endif  // DIETHERM_SENSOR_ACCESS_H
