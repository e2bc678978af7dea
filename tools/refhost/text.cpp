#include "text.h"

#include <windows.h>

#include <cstring>

std::wstring Utf8ToWide(const std::string &text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string WideToUtf8(const std::wstring &text) {
    if (text.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

std::string Cp1252ToUtf8(const char *text, size_t max_length) {
    const size_t length = strnlen(text, max_length);
    if (length == 0) return std::string();
    wchar_t wide[256];
    const int wide_length = MultiByteToWideChar(1252, 0, text, static_cast<int>(length), wide, 256);
    return WideToUtf8(std::wstring(wide, static_cast<size_t>(wide_length > 0 ? wide_length : 0)));
}
