// Character-wise scans of byte strings in a multibyte code page, so that the
// second byte of a double-byte character is never taken for a separator.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace mbcs {

// Index of the character after the one starting at `pos`. A lead byte at the
// very end stands alone.
inline size_t NextChar(const std::string& text, size_t pos, platform::LeadByteTest isLeadByte) {
    if (isLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) {
        return pos + 2;
    }
    return pos + 1;
}

// Index of the first single-byte character `c` from `pos` on, or the length.
inline size_t FindChar(const std::string& text, char c, platform::LeadByteTest isLeadByte,
                       size_t pos = 0) {
    while (pos < text.size() && text[pos] != c) {
        pos = NextChar(text, pos, isLeadByte);
    }
    return pos;
}

// True when the last character (not merely the last byte) is `c`.
inline bool EndsWithChar(const std::string& text, char c, platform::LeadByteTest isLeadByte) {
    size_t last = std::string::npos;
    for (size_t pos = 0; pos < text.size(); pos = NextChar(text, pos, isLeadByte)) {
        last = pos;
    }
    return last != std::string::npos && last + 1 == text.size() && text[last] == c;
}

// Length of the folder part: up to and including the last "\" or "/", 0 when
// there is none.
inline size_t FolderPartLength(const std::string& path, platform::LeadByteTest isLeadByte) {
    size_t length = 0;
    for (size_t pos = 0; pos < path.size(); pos = NextChar(path, pos, isLeadByte)) {
        if (path[pos] == '\\' || path[pos] == '/') {
            length = pos + 1;
        }
    }
    return length;
}

}  // namespace mbcs
