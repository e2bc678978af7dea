#include "plugin/load_notification.h"

#include "sensor/sensor_state.h"
#include "sensor/thermal_probe.h"

extern "C" int DIETHERM_LOADER_CALL DllMain(void *module, unsigned long reason, void *reserved) {
    (void)module;
    (void)reserved;
    // The probe's answer stands for the whole process; a processor without
    // the sensor still loads the module and shows up as failed readings.
    if (reason == DIETHERM_PROCESS_ATTACH) {
        g_sensor_state.dts_supported = DetectThermalSensor();
    }
    return 1;
}
