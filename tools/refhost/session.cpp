#include "session.h"

#include <cfloat>

#include "text.h"

bool Session::AnyDescribed() const {
    for (const SourceRow &row : rows) {
        if (row.described) return true;
    }
    return false;
}

Session DescribeSources(const Plugin &plugin, uint32_t desc_version) {
    Session session;
    session.sources = plugin.sources_num();
    for (int32_t index = 0; index < session.sources; ++index) {
        // Larger than any layout, zeroed, with the version the host speaks.
        alignas(4) unsigned char record[512] = {};
        SourceDesc *desc = reinterpret_cast<SourceDesc *>(record);
        desc->version = desc_version;
        SourceRow row;
        row.index = index;
        row.described = plugin.source_desc(index, desc) == 1;
        if (row.described) {
            row.name = Cp1252ToUtf8(desc->name, sizeof(desc->name));
            row.units = Cp1252ToUtf8(desc->units, sizeof(desc->units));
        }
        session.rows.push_back(row);
    }
    return session;
}

void PollSources(const Plugin &plugin, const Session &session, int polls, int interval_ms,
                 const std::function<void(int poll, const PollReadings &readings)> &on_poll) {
    PollReadings readings(session.rows.size(), FLT_MAX);
    for (int poll = 1; poll <= polls; ++poll) {
        if (poll > 1 && interval_ms > 0) Sleep(static_cast<DWORD>(interval_ms));
        for (size_t i = 0; i < session.rows.size(); ++i) {
            readings[i] = session.rows[i].described ? plugin.source_data(session.rows[i].index) : FLT_MAX;
        }
        on_poll(poll, readings);
    }
}
