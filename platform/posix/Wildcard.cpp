#include "platform/posix/Wildcard.h"

#include <cctype>

namespace platform::posix {

namespace {

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Greedy match that backtracks only to the most recent "*": enough for
// patterns with several stars, and linear for the usual ones.
bool MatchPlain(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0;
    size_t starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool EndsWithDotStar(const std::string& pattern) {
    return pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    if (MatchPlain(pattern, name)) {
        return true;
    }
    return EndsWithDotStar(pattern) && MatchesWildcard(pattern.substr(0, pattern.size() - 2), name);
}

SearchPath SplitSearchPath(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) {
        return {std::string(), path};
    }
    return {ToNativePath(path.substr(0, cut + 1)), path.substr(cut + 1)};
}

std::string ToNativePath(std::string path) {
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

}  // namespace platform::posix
