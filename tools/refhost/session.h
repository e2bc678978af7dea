// One monitoring session in the host's calling order: count, describe every
// source, then poll every described source, again and again.
#ifndef REFHOST_SESSION_H
#define REFHOST_SESSION_H

#include <string>
#include <vector>

#include "plugin.h"

struct SourceRow {
    int32_t index = 0;
    bool described = false;
    std::string name;  // UTF-8, converted from the plug-in's Windows-1252
    std::string units;
    std::vector<float> readings;  // one per poll; empty when not described
};

struct Session {
    int32_t sources = 0;
    std::vector<SourceRow> rows;
};

// Describes every source with a record of `desc_version`, then polls `polls`
// times with `interval_ms` between polls.
Session RunSession(const Plugin &plugin, uint32_t desc_version, int polls, int interval_ms);

// Windows-1252 text, as the plug-in writes it, in UTF-8.
std::string Cp1252ToUtf8(const char *text, size_t max_length);

#endif  // REFHOST_SESSION_H
