// What the folders of remembered jobs hold now, each folder listed once. The
// memories of stuck and unopenable jobs forget an entry only on the word of a
// listing that succeeded: a drive that is not back yet after sign-in, a
// network that drops for a moment or a folder that cannot be read says
// nothing about whether a job is still there.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/Platform.h"

// The folder part of a job's path, up to its last separator ("D:" for a path
// in the current folder of drive D).
std::string FolderOf(const std::string& path, platform::LeadByteTest isLeadByte);

// Chooses the remembered paths a pass looks at.
using PathFilter = std::function<bool(const std::string& path)>;

// True when `path` lies in `folder` (a path ending in its separator) or below.
bool IsWithin(const std::string& path, const std::string& folder);

class FolderSnapshot {
public:
    FolderSnapshot(platform::FileSystem& fs, platform::LeadByteTest isLeadByte)
        : m_fs(fs), m_isLeadByte(isLeadByte) {}

    enum class Look { NotListed, Absent, Present };
    // Whether the file `path` names is in its folder; `found` receives its
    // entry when it is. Only files listed under their exact names count.
    Look Find(const std::string& path, platform::DirEntry* found);

private:
    using Files = std::map<std::string, platform::DirEntry>;
    platform::FileSystem& m_fs;
    const platform::LeadByteTest m_isLeadByte;
    std::map<std::string, std::optional<Files>> m_folders;  // nullopt: could not be listed
};
