#include "sensor/sensor_access.h"

#include <cfloat>

#include "platform/platform.h"
#include "sensor/msr_layout.h"
#include "sensor/sensor_state.h"
#include "sensor/thermal_probe.h"

void AttachSensor() { g_sensor_state.dts_supported = DetectThermalSensor() ? 1 : 0; }

bool EnsureSensorAccess() { return g_sensor_state.read_msr != nullptr || InitSensorAccess(); }

bool InitSensorAccess() {
    // read_msr is stored only once everything has succeeded, so that a
    // failed attempt (no sensor, a reader that reads nothing yet) is retried
    // on the next description instead of passing for success, and polls
    // never read on a base that was not fixed.
    const ReadMsrFunction read_msr = PlatformFindHostReadMsr();
    if (read_msr == nullptr) {
        return false;
    }
    if (g_sensor_state.dts_supported == 0) {
        return false;
    }
    const MsrReading tj_max_select = PlatformReadMsr(read_msr, msr::kTjMaxSelect);
    if (tj_max_select.read != 0) {
        if ((tj_max_select.low & msr::kTjMax85Bit) != 0) {
            g_sensor_state.tj_max = 85.0f;
        }
    } else if (PlatformReadMsr(read_msr, msr::kThermStatus).read == 0) {
        // Neither register reads: it is the host's reader that does not
        // work (yet), not the part.
        return false;
    }
    // A part whose thermal status reads but that has no register 0xEE keeps
    // the default base of 100 degrees, for good.
    g_sensor_state.read_msr = read_msr;
    return true;
}

float ReadCoreTemperature(int32_t index) {
    // Beyond 31 there is no slot in last_readings (and on 32-bit Windows no
    // bit in an affinity mask).
    if (index < 0 || index >= SENSOR_SOURCE_LIMIT) {
        return FLT_MAX;
    }
    // read_msr is set only by an initialisation that found the sensor, and
    // the sensor's presence is fixed at load: it alone gates the poll.
    if (g_sensor_state.read_msr == nullptr) {
        return FLT_MAX;
    }

    const AffinityMask system_mask = PlatformSystemAffinityMask();
    if (system_mask == 0) {
        return FLT_MAX;
    }
    // Widened for good: the earlier process mask is not restored.
    if (PlatformSetProcessAffinity(system_mask) == 0) {
        return FLT_MAX;
    }
    // The thread stays on this processor until the next poll moves it.
    if (PlatformBindThread(static_cast<AffinityMask>(1) << index) == 0) {
        return FLT_MAX;
    }

    const MsrReading status = PlatformReadMsr(g_sensor_state.read_msr, msr::kThermStatus);
    if (status.read == 0) {
        return FLT_MAX;
    }
    if (!msr::ReadingValid(status.low)) {
        return g_sensor_state.last_readings[index];
    }
    const float reading = g_sensor_state.tj_max - static_cast<float>(msr::DegreesBelowTjMax(status.low));
    g_sensor_state.last_readings[index] = reading;
    return reading;
}
