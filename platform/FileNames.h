// Which names a file can be reached by. One rule for every name this program
// joins to a folder or opens: a job's listed name, the record's folder for a
// section, and an output that may be a printer's name.
#pragma once

#include <string>

#include "platform/Platform.h"

// True when `name` joined to a folder reaches a file of exactly that name in
// it: a single name that is not "." or "..", with no separator, drive,
// wildcard or control character, not ending in a dot or a blank (which the
// system strips, reaching another file), and not a device's name (CON, NUL,
// COM1, LPT1 ... with any extension, in any case), which opens the device.
bool IsPlainFileName(const std::string& name, platform::LeadByteTest isLeadByte);

// True when the system takes `name` for a device wherever it stands: CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT with a digit 0 to 9 or a
// superscript one to three (UTF-8), in any case, with any extension, blanks
// before the extension left off.
bool IsDeviceName(const std::string& name);
