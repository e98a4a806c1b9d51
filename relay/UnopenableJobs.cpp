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
    return Remember(path, file.size, file.lastWrite, now);
}

bool UnopenableJobs::Remember(const std::string& path, uint64_t size, uint64_t lastWrite, int64_t now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry* same = Find(path, size, lastWrite);
    const int64_t backOff = same ? std::min(same->backOff * 2, kLongestBackOffSeconds) : kFirstBackOffSeconds;
    m_entries[path] = Entry{size, lastWrite, backOff, now + backOff};
    return same == nullptr;
}

bool UnopenableJobs::Knows(const std::string& path, uint64_t size, uint64_t lastWrite) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Find(path, size, lastWrite) != nullptr;
}

bool UnopenableJobs::AnyDue(int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const auto& entry) { return now >= entry.second.until; });
}

bool UnopenableJobs::PassesOver(const std::string& path, uint64_t size, uint64_t lastWrite,
                                int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry* entry = Find(path, size, lastWrite);
    return entry && now < entry->until;
}

std::size_t UnopenableJobs::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

std::string UnopenableJobs::AnyPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.empty() ? std::string() : m_entries.begin()->first;
}

void UnopenableJobs::ForgetChanged(FolderSnapshot& folders) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        platform::DirEntry now;
        const FolderSnapshot::Look look = folders.Find(entry->first, &now);
        const bool changed = look == FolderSnapshot::Look::Absent ||
                             (look == FolderSnapshot::Look::Present &&
                              (now.size != entry->second.size || now.lastWrite != entry->second.lastWrite));
        entry = changed ? m_entries.erase(entry) : std::next(entry);
    }
}

const UnopenableJobs::Entry* UnopenableJobs::Find(const std::string& path, uint64_t size,
                                                  uint64_t lastWrite) const {
    const auto found = m_entries.find(path);
    return found != m_entries.end() && found->second.size == size && found->second.lastWrite == lastWrite
               ? &found->second
               : nullptr;
}
