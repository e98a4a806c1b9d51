#include "platform/FileNames.h"

#include "platform/MbcsText.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsDeviceName(const std::string& name) {
    // The system looks at the part before the first dot, blanks at its end left off.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    for (char& c : base) {
        c = UpperAscii(c);
    }
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (base == device) {
            return true;
        }
    }
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) {
        return false;
    }
    const std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == u8"¹" || digit == u8"²" ||
           digit == u8"³";
}

bool IsPlainFileName(const std::string& name, platform::LeadByteTest isLeadByte) {
    if (name.empty() || name == "." || name == ".." || IsDeviceName(name)) {
        return false;
    }
    size_t last = 0;
    for (size_t pos = 0; pos < name.size(); pos = mbcs::NextChar(name, pos, isLeadByte)) {
        last = pos;
        const auto c = static_cast<unsigned char>(name[pos]);
        if (isLeadByte(c) && pos + 1 < name.size()) {
            continue;  // the second byte of a double-byte character may be 0x5C
        }
        if (c < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos) {
            return false;
        }
    }
    return name[last] != '.' && name[last] != ' ';
}
