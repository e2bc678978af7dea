// One monitoring session in the host's calling order: count, describe every
// source, then poll every described source, again and again.
#ifndef REFHOST_SESSION_H
#define REFHOST_SESSION_H

#include <functional>
#include <string>
#include <vector>

#include "plugin.h"

struct SourceRow {
    int32_t index = 0;
    bool described = false;
    std::string name;  // UTF-8, converted from the plug-in's Windows-1252
    std::string units;
};

struct Session {
    int32_t sources = 0;
    std::vector<SourceRow> rows;
    bool AnyDescribed() const;
};

// GetSourcesNum, then GetSourceDesc for every source with a record of
// `desc_version`.
Session DescribeSources(const Plugin &plugin, uint32_t desc_version);

// One reading per row, in row order; FLT_MAX for a row not described (it is
// not polled).
using PollReadings = std::vector<float>;

// Polls every described source `polls` times, `interval_ms` apart, and
// hands each poll to `on_poll` (numbered from 1) as soon as it is taken.
void PollSources(const Plugin &plugin, const Session &session, int polls, int interval_ms,
                 const std::function<void(int poll, const PollReadings &readings)> &on_poll);

#endif  // REFHOST_SESSION_H
