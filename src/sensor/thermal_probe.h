#ifndef DIETHERM_THERMAL_PROBE_H
#define DIETHERM_THERMAL_PROBE_H

// True when the processor is Intel and CPUID leaf 6 reports the Digital
// Thermal Sensor; false otherwise, including when it has no CPUID.
bool DetectThermalSensor();

#endif  // DIETHERM_THERMAL_PROBE_H
