#ifndef DIETHERM_THERMAL_PROBE_H
#define DIETHERM_THERMAL_PROBE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 1 when the processor is Intel and CPUID leaf 6 reports the Digital Thermal
// Sensor; 0 otherwise, including when the processor has no CPUID.
int32_t DetectThermalSensor(void);

#ifdef __cplusplus
}
#endif

#endif  // DIETHERM_THERMAL_PROBE_H
