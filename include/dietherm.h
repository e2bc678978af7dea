/*
 * Dietherm.dll: per-processor core temperature from the Intel Digital
 * Thermal Sensor, offered to a hardware-monitoring host as data sources.
 *
 * Usable from C and C++. All numbers are little-endian; texts are 8-bit,
 * NUL-terminated, Windows-1252.
 */
#ifndef DIETHERM_H
#define DIETHERM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The host's default C calling convention: the caller removes the arguments. */
#if defined(_WIN32)
#define DIETHERM_CALL __cdecl
#else
#define DIETHERM_CALL
#endif

/* Record versions from this one up (unsigned) carry the `group` field. */
#define SOURCE_DESC_VERSION_WITH_GROUP 0x00010002u

/* Smallest record the host may pass: without and with `group`. */
#define SOURCE_DESC_SIZE_WITHOUT_GROUP 144u
#define SOURCE_DESC_SIZE_WITH_GROUP 148u

/*
 * The host owns and allocates this record; the module fills it during
 * GetSourceDesc. `group` is as wide as the host's layout makes it; the
 * module writes only its first 4 bytes ("CPU" and the terminator).
 */
typedef struct SourceDesc {
    uint32_t version;       /* set by the host, never written by the module */
    char name[32];          /* "CPU<index> temperature" */
    char units[32];         /* "\xB0" "C" */
    float scale_max;        /* 100.0 */
    float scale_min;        /* 0.0 */
    float scale_step;       /* 10.0 */
    char description[64];
    char group[4];          /* "CPU", only when version >= 0x00010002 */
} SourceDesc;

/* Number of data sources: one per logical processor, at most 32. */
int32_t DIETHERM_CALL GetSourcesNum(void);

/* Fills `desc` for source `index`; 1 when filled, 0 when not (record untouched). */
int32_t DIETHERM_CALL GetSourceDesc(int32_t index, SourceDesc *desc);

/* Core temperature of processor `index` in degrees Celsius, or FLT_MAX. */
float DIETHERM_CALL GetSourceData(int32_t index);

#ifdef __cplusplus
}
#endif

#endif /* DIETHERM_H */
