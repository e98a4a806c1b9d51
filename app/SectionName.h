// The profile section name taken from the program's command line, and the
// name of the section's record folder.
#pragma once

#include <string>

#include "platform/Platform.h"

// Drops the program path (quoted, or up to the first blank) and leading white
// space from `commandLine`; what is left is the section name, "Varnow" when
// nothing is. Double-byte characters are stepped over whole.
std::string DeriveSectionName(const char* commandLine, platform::LeadByteTest isLeadByte);

// The folder name of a section (both UTF-8). A name Windows can hold as a
// folder name stays as it is; what it cannot hold is written "%" and two
// hexadecimal digits per byte: the characters < > : " / \ | ? * and controls,
// "%" itself, trailing full stops and blanks, and the first character of a
// device name such as "CON" or "LPT1.x". So two sections never share a folder.
std::string SectionFolderName(const std::string& sectionUtf8);

// The section a folder name stands for: SectionFolderName undone.
std::string SectionOfFolderName(const std::string& folderName);
