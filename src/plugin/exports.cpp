// The module as the host meets it, in the host's calling order: the load
// notification, the source count, a description per source, and a reading
// per poll. The sensor work is the sensor layer's.
#include <cstring>

#include "dietherm.h"
#include "platform/platform.h"
#include "plugin/load_notification.h"
#include "plugin/source_name.h"
#include "sensor/sensor_access.h"
#include "sensor/sensor_state.h"

namespace {

// Windows-1252: the degree sign is the single byte 0xB0.
constexpr char kUnits[] = "\xB0" "C";
constexpr char kDescription[] = "CPU temperature as reported by on-die Digital Thermal Sensor";
constexpr char kGroup[] = "CPU";

static_assert(sizeof(kUnits) == 3, "units are 0xB0 0x43 0x00");
static_assert(sizeof(kDescription) == 61, "60 characters and the terminator");
static_assert(sizeof(kDescription) <= sizeof(SourceDesc::description), "description fits");
static_assert(sizeof(kGroup) == sizeof(SourceDesc::group), "group is 4 bytes");

// Copies the text and its terminator only: the bytes after it stay the host's.
template <size_t N>
void WriteText(char *field, const char (&text)[N]) {
    std::memcpy(field, text, N);
}

}  // namespace

extern "C" int DIETHERM_LOADER_CALL DllMain(void *module, unsigned long reason, void *reserved) {
    (void)module;
    (void)reserved;
    // A processor without the sensor still loads the module and shows up as
    // failed descriptions and readings.
    if (reason == DIETHERM_PROCESS_ATTACH) {
        AttachSensor();
    }
    return 1;
}

extern "C" int32_t DIETHERM_CALL GetSourcesNum(void) {
    // A 64-bit system may have more processors than the module has sources.
    const uint32_t processors = PlatformProcessorCount();
    return static_cast<int32_t>(processors < SENSOR_SOURCE_LIMIT ? processors : SENSOR_SOURCE_LIMIT);
}

extern "C" int32_t DIETHERM_CALL GetSourceDesc(int32_t index, SourceDesc *desc) {
    if (desc == nullptr) {
        return 0;
    }
    if (!EnsureSensorAccess()) {
        return 0;
    }

    char name[sizeof(desc->name)];
    const size_t name_length = FormatSourceName(index, name);
    std::memcpy(desc->name, name, name_length + 1);

    WriteText(desc->units, kUnits);
    WriteText(desc->description, kDescription);
    if (desc->version >= SOURCE_DESC_VERSION_WITH_GROUP) {
        WriteText(desc->group, kGroup);
    }
    desc->scale_max = 100.0f;
    desc->scale_min = 0.0f;
    desc->scale_step = 10.0f;
    return 1;
}

extern "C" float DIETHERM_CALL GetSourceData(int32_t index) {
    return ReadCoreTemperature(index);
}
