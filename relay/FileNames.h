// Which names a file can be reached by. One rule for every name this program
// joins to a folder: a job's listed name, and the names of the record's own
// folders and files.
#pragma once

#include <string>

#include "platform/Platform.h"

// True when `name` joined to a folder reaches a file of exactly that name in
// it: a single name that is not "." or "..", with no separator, drive,
// wildcard or control character, not ending in a dot or a blank (which the
// system strips, reaching another file), and not a device's name (CON, NUL,
// COM1, LPT1 ... with any extension, in any case), which opens the device.
bool IsPlainFileName(const std::string& name, platform::LeadByteTest isLeadByte);

// True when the system takes `name` for a device wherever it stands.
bool IsDeviceName(const std::string& name);
