// Directory-search name matching with the wildcard rules of FindFirstFileA,
// so that pattern lists behave alike on Windows and in native builds.
#pragma once

#include <string>

namespace platform::posix {

// Case-insensitive (ASCII) match of a name against a pattern in which "*"
// stands for any run of characters and "?" for exactly one. A pattern ending
// in ".*" also matches the name without that part, as "*.*" matches "README".
bool MatchesWildcard(const std::string& pattern, const std::string& name);

// A search path cut at its last "\" or "/": the folder part keeps its final
// separator and has every backslash turned into "/"; the pattern is the rest.
struct SearchPath {
    std::string folder;
    std::string pattern;
};
SearchPath SplitSearchPath(const std::string& path);

// The engine joins folders and names with "\" as on Windows; here both
// separators name the same folder.
std::string ToNativePath(std::string path);

}  // namespace platform::posix
