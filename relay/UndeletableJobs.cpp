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
