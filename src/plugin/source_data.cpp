#include "dietherm.h"
#include "platform/platform.h"
#include "sensor/sensor_access.h"
#include "sensor/sensor_state.h"

extern "C" int32_t DIETHERM_CALL GetSourcesNum(void) {
    // A 64-bit system may have more processors than the module has sources.
    const uint32_t processors = PlatformProcessorCount();
    return static_cast<int32_t>(processors < SENSOR_SOURCE_LIMIT ? processors : SENSOR_SOURCE_LIMIT);
}

extern "C" float DIETHERM_CALL GetSourceData(int32_t index) {
    return ReadCoreTemperature(index);
}
