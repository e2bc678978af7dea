#include "session.h"

#include <cstring>

std::string Cp1252ToUtf8(const char *text, size_t max_length) {
    const int length = static_cast<int>(strnlen(text, max_length));
    if (length == 0) return std::string();
    wchar_t wide[256];
    const int wide_length = MultiByteToWideChar(1252, 0, text, length, wide, 256);
    char utf8[768];
    const int utf8_length = WideCharToMultiByte(CP_UTF8, 0, wide, wide_length, utf8, sizeof(utf8), nullptr, nullptr);
    return std::string(utf8, static_cast<size_t>(utf8_length > 0 ? utf8_length : 0));
}

Session RunSession(const Plugin &plugin, uint32_t desc_version, int polls, int interval_ms) {
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
    for (int poll = 0; poll < polls; ++poll) {
        if (poll > 0 && interval_ms > 0) Sleep(static_cast<DWORD>(interval_ms));
        for (SourceRow &row : session.rows) {
            if (row.described) row.readings.push_back(plugin.source_data(row.index));
        }
    }
    return session;
}
