#include "platform/Platform.h"

namespace platform {

bool IsLeadByteSjis(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsLeadByteNone(unsigned char) {
    return false;
}

#ifndef _WIN32
// POSIX systems name files in single-byte or UTF-8 encodings; neither has a
// byte whose follower could be mistaken for a separator, so no byte leads.
bool IsLeadByteSystem(unsigned char c) {
    return IsLeadByteNone(c);
}
#endif

}  // namespace platform
