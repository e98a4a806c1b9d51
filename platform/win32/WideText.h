// Conversions between the engine's byte strings (ANSI code page or UTF-8)
// and the wide strings of the W functions, for the Win32 twins.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

inline std::wstring ToWide(const std::string& text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

// Without flags: a character the code page lacks comes out as its stand-in.
inline std::string FromWide(const wchar_t* text, size_t length, UINT codePage) {
    if (length == 0) return std::string();
    const int wideLength = static_cast<int>(length);
    const int size = ::WideCharToMultiByte(codePage, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(codePage, 0, text, wideLength, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

inline std::string FromWide(const std::wstring& text, UINT codePage) {
    return FromWide(text.data(), text.size(), codePage);
}

}  // namespace platform
