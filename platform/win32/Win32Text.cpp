#include <windows.h>

#include "platform/TextCodec.h"
#include "platform/win32/WideText.h"

namespace platform {

// Through UTF-16, the one form both conversions share. A byte the code page
// does not map comes out as a stand-in character, never dropped.
std::string AnsiToUtf8(const std::string& ansi) { return FromWide(ToWide(ansi, CP_ACP), CP_UTF8); }

}  // namespace platform
