// Byte strings of the engine (paths and settings in the ANSI code page) turned
// into UTF-8 for what leaves the program as text: the job record and the
// messages the window shows.
#pragma once

#include <string>

namespace platform {

using ToUtf8 = std::string (*)(const std::string&);

// From the process's ANSI code page (932 on the target systems). The POSIX
// twin's strings are UTF-8 already and come back unchanged.
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace platform
