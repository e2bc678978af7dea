// Text between the forms the reference host meets: UTF-16 from Windows,
// UTF-8 for its own output, Windows-1252 from the plug-in.
#ifndef REFHOST_TEXT_H
#define REFHOST_TEXT_H

#include <cstddef>
#include <string>

std::wstring Utf8ToWide(const std::string &text);
std::string WideToUtf8(const std::wstring &text);

// Windows-1252 text, as the plug-in writes it, at most `max_length` bytes
// or up to its terminator, in UTF-8.
std::string Cp1252ToUtf8(const char *text, size_t max_length);

#endif  // REFHOST_TEXT_H
