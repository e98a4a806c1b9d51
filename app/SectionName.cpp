#include "app/SectionName.h"

#include <cstring>

#include "platform/MbcsText.h"

std::string DeriveSectionName(const char* commandLine, platform::LeadByteTest isLeadByte) {
    const std::string line = commandLine ? commandLine : "";
    size_t pos = 0;
    if (!line.empty() && line[0] == '"') {
        // A quoted program path ends at the next quote, which goes with it.
        pos = mbcs::FindChar(line, '"', isLeadByte, 1);
        if (pos < line.size()) {
            ++pos;
        }
    } else {
        // Only a blank ends an unquoted path; a tab belongs to it.
        pos = mbcs::FindChar(line, ' ', isLeadByte);
    }
    while (pos < line.size() && std::strchr(" \t\n\v\f\r", line[pos]) != nullptr) {
        ++pos;
    }
    // Trailing white space is kept: it is part of the profile key's name.
    return pos < line.size() ? line.substr(pos) : "Varnow";
}
