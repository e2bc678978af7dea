// The record crosses the module boundary: its layout is the host's, to the byte.
#include <cstddef>

#include "dietherm.h"

static_assert(offsetof(SourceDesc, version) == 0, "version at 0");
static_assert(offsetof(SourceDesc, name) == 4, "name at 4");
static_assert(offsetof(SourceDesc, units) == 36, "units at 36");
static_assert(offsetof(SourceDesc, scale_max) == 68, "scale_max at 68");
static_assert(offsetof(SourceDesc, scale_min) == 72, "scale_min at 72");
static_assert(offsetof(SourceDesc, scale_step) == 76, "scale_step at 76");
static_assert(offsetof(SourceDesc, description) == 80, "description at 80");
static_assert(offsetof(SourceDesc, group) == SOURCE_DESC_SIZE_WITHOUT_GROUP, "group at 144");
static_assert(sizeof(SourceDesc) == SOURCE_DESC_SIZE_WITH_GROUP, "4 bytes of group are all the module needs");
static_assert(sizeof(float) == 4 && sizeof(uint32_t) == 4, "32-bit fields");
