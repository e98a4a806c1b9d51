#include "relay/FolderSnapshot.h"

#include "platform/MbcsText.h"

std::string FolderOf(const std::string& path, platform::LeadByteTest isLeadByte) {
    size_t length = mbcs::FolderPartLength(path, isLeadByte);
    if (length == 0 && path.size() >= 2 && path[1] == ':') {
        length = 2;
    }
    return path.substr(0, length);
}

bool IsWithin(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

FolderSnapshot::Look FolderSnapshot::Find(const std::string& path, platform::DirEntry* found) {
    const std::string folder = FolderOf(path, m_isLeadByte);
    auto listed = m_folders.find(folder);
    if (listed == m_folders.end()) {
        Files files;
        const bool complete = m_fs.ListFolder(folder, [&](const platform::DirEntry& entry) {
            if (entry.exactName && !entry.isDirectory) {
                files[entry.name] = entry;
            }
        });
        listed =
            m_folders
                .emplace(folder, complete ? std::optional<Files>(std::move(files)) : std::nullopt)
                .first;
    }
    if (!listed->second) {
        return Look::NotListed;
    }
    const auto file = listed->second->find(path.substr(folder.size()));
    if (file == listed->second->end()) {
        return Look::Absent;
    }
    *found = file->second;
    return Look::Present;
}
