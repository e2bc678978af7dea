#include "sensor/sensor_state.h"

#include <cfloat>

#define DIETHERM_NO_READING_X4 FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX
#define DIETHERM_NO_READING_X16 \
    DIETHERM_NO_READING_X4, DIETHERM_NO_READING_X4, DIETHERM_NO_READING_X4, DIETHERM_NO_READING_X4

// constinit: the loader maps these values in with the image; no code runs
// to set them, so they hold before the load notification.
constinit SensorState g_sensor_state = {
    0,
    nullptr,
    100.0f,
    {DIETHERM_NO_READING_X16, DIETHERM_NO_READING_X16},
};

static_assert(sizeof(g_sensor_state.last_readings) / sizeof(float) == 32, "one slot per source");
