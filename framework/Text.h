// Conversions at the window boundary: the settings and paths are byte strings
// in the ANSI code page, everything the user reads goes through the W API.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

std::wstring Utf8ToWide(const char* utf8);
std::wstring AnsiToWide(const std::string& ansi);
// A character the ANSI code page cannot hold becomes "|", never "?" or a
// look-alike.
std::string WideToAnsi(const std::wstring& wide);
// True when WideToAnsi keeps every character of `wide`.
bool SpellsInAnsi(const std::wstring& wide);

// The longest prefix of `text` of at most `limit` bytes that does not end in
// the middle of a double-byte character of the ANSI code page.
std::string CutAtByteLimit(const std::string& text, std::size_t limit);

// A string of the program's own string table; empty when it does not exist.
std::wstring LoadResourceString(UINT id);
