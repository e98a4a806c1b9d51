#include "relay/UndeletableJobs.h"

#include <algorithm>

void UndeletableJobs::Remember(const std::string& path, uint64_t size, uint64_t lastWrite) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // One entry per path: a changed file that gets stuck again replaces its old self.
    const auto same = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& entry) { return entry.path == path; });
    if (same != m_entries.end()) {
        *same = {path, size, lastWrite};
    } else {
        m_entries.push_back({path, size, lastWrite});
    }
}

bool UndeletableJobs::Contains(const std::string& path, uint64_t size, uint64_t lastWrite) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return entry.path == path && entry.size == size && entry.lastWrite == lastWrite;
    });
}

void UndeletableJobs::ForgetChanged(platform::FileSystem& fs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto changed = [&](const Entry& entry) {
        platform::DirEntry now;
        const auto isFile = [](const platform::DirEntry& e) { return !e.isDirectory; };
        return !fs.FindFirst(entry.path, isFile, &now) || now.size != entry.size ||
               now.lastWrite != entry.lastWrite;
    };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), changed), m_entries.end());
}
