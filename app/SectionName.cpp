#include "app/SectionName.h"

#include <cstring>

#include "platform/FileNames.h"
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

namespace {

std::string Escaped(unsigned char byte) {
    static const char kHex[] = "0123456789ABCDEF";
    return {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string SectionFolderName(const std::string& sectionUtf8) {
    size_t kept = sectionUtf8.size();
    while (kept > 0 && (sectionUtf8[kept - 1] == '.' || sectionUtf8[kept - 1] == ' ')) --kept;
    std::string folder;
    for (size_t i = 0; i < sectionUtf8.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(sectionUtf8[i]);
        const bool refused = byte < 0x20 || std::strchr("<>:\"/\\|?*%", byte) != nullptr;
        const bool device = i == 0 && IsDeviceName(sectionUtf8);
        if (refused || device || i >= kept) {
            folder += Escaped(byte);
        } else {
            folder += sectionUtf8[i];
        }
    }
    return folder;
}

std::string SectionOfFolderName(const std::string& folderName) {
    std::string section;
    for (size_t i = 0; i < folderName.size(); ++i) {
        const bool escape = folderName[i] == '%' && i + 2 < folderName.size() &&
                            HexValue(folderName[i + 1]) >= 0 && HexValue(folderName[i + 2]) >= 0;
        if (escape) {
            const int high = HexValue(folderName[i + 1]), low = HexValue(folderName[i + 2]);
            section += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            section += folderName[i];
        }
    }
    return section;
}
