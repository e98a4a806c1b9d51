// The profile section name taken from the program's command line.
#pragma once

#include <string>

#include "platform/Platform.h"

// Drops the program path (quoted, or up to the first blank) and leading white
// space from `commandLine`; what is left is the section name, "Varnow" when
// nothing is. Double-byte characters are stepped over whole.
std::string DeriveSectionName(const char* commandLine, platform::LeadByteTest isLeadByte);
