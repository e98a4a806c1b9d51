#include "relay/UnopenableJobs.h"

#include <algorithm>

namespace {

constexpr int64_t kFirstBackOffSeconds = 30;
constexpr int64_t kLongestBackOffSeconds = 600;

}  // namespace

bool UnopenableJobs::Remember(platform::FileSystem& fs, const std::string& path, int64_t now) {
    const std::string folder = FolderOf(path, m_isLeadByte);
    const std::string name = path.substr(folder.size());
    // Looked up in the listing by its exact name: a path too long to open may
    // be too long to search for as well.
    platform::DirEntry file;
    const auto isThisFile = [&](const platform::DirEntry& entry) {
        return !entry.isDirectory && entry.exactName && entry.name == name;
    };
    if (!fs.FindFirst(folder + "*", isThisFile, &file)) {
        return false;  // gone: nothing to pass over
    }
    return Remember(path, file.Identity(), now);
}

bool UnopenableJobs::Remember(const std::string& path, const platform::FileIdentity& listed, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry* same = Find(path, listed);
    const int64_t backOff = same ? std::min(same->backOff * 2, kLongestBackOffSeconds) : kFirstBackOffSeconds;
    m_entries[path] = Entry{listed, backOff, now + backOff};
    return same == nullptr;
}

bool UnopenableJobs::Knows(const std::string& path, const platform::FileIdentity& listed) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Find(path, listed) != nullptr;
}

bool UnopenableJobs::AnyDue(int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const auto& entry) { return now >= entry.second.until; });
}

bool UnopenableJobs::PassesOver(const std::string& path, const platform::FileIdentity& listed, int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry* entry = Find(path, listed);
    return entry && now < entry->until;
}

std::size_t UnopenableJobs::Count(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_entries.begin(), m_entries.end(),
                                                  [&](const auto& entry) { return IsWithin(entry.first, folder); }));
}

std::string UnopenableJobs::AnyPath(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_entries) {
        if (IsWithin(entry.first, folder)) {
            return entry.first;
        }
    }
    return std::string();
}

void UnopenableJobs::ForgetChanged(FolderSnapshot& folders, const PathFilter& which) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (!which(entry->first)) {
            ++entry;
            continue;
        }
        platform::DirEntry now;
        const FolderSnapshot::Look look = folders.Find(entry->first, &now);
        const bool changed = look == FolderSnapshot::Look::Absent ||
                             (look == FolderSnapshot::Look::Present && !entry->second.file.SameVersionAs(now.Identity()));
        entry = changed ? m_entries.erase(entry) : std::next(entry);
    }
}

const UnopenableJobs::Entry* UnopenableJobs::Find(const std::string& path, const platform::FileIdentity& listed) const {
    const auto found = m_entries.find(path);
    return found != m_entries.end() && found->second.file.SameVersionAs(listed) ? &found->second : nullptr;
}
