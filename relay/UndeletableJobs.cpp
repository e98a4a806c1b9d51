#include "relay/UndeletableJobs.h"

#include <algorithm>
#include <limits>

namespace {

// One unsigned decimal number at `pos`, without sign, blanks or overflow.
bool ReadNumber(const std::string& text, size_t& pos, uint64_t* value) {
    const size_t start = pos;
    *value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const uint64_t digit = static_cast<uint64_t>(text[pos] - '0');
        if (*value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
            return false;
        }
        *value = *value * 10 + digit;
    }
    return pos > start;
}

bool ReadBlank(const std::string& text, size_t& pos) {
    return pos < text.size() && text[pos++] == ' ';
}

// What a listing can compare it with later: the place on the volume is not listed.
platform::FileIdentity Listed(const platform::FileIdentity& file) {
    platform::FileIdentity listed;
    listed.size = file.size;
    listed.lastWrite = file.lastWrite;
    listed.changeTime = file.changeTime;
    return listed;
}

}  // namespace

void UndeletableJobs::KeepIn(std::unique_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store = std::move(store);
    m_entries.clear();
    m_nextOrder = 0;
    for (const auto& [name, text] : m_store->ReadAll()) {
        Entry entry{{}, 0, false};
        size_t pos = 0;
        bool valid = ReadNumber(text, pos, &entry.file.size) && ReadBlank(text, pos) &&
                     ReadNumber(text, pos, &entry.file.lastWrite) && ReadBlank(text, pos) &&
                     ReadNumber(text, pos, &entry.order);
        if (valid && pos < text.size()) {
            valid = ReadBlank(text, pos) && ReadNumber(text, pos, &entry.file.changeTime);
        }
        if (valid && pos == text.size()) {
            m_entries[name] = entry;
            m_nextOrder = std::max(m_nextOrder, entry.order + 1);
        } else {
            m_store->Erase(name);  // not in this program's form: it could only linger
        }
    }
}

void UndeletableJobs::Remember(const std::string& path, const platform::FileIdentity& file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // One entry per path: a changed file that gets stuck again replaces its old self.
    const Entry entry{Listed(file), m_nextOrder++, false};
    m_entries[path] = entry;
    Save(path, entry);
}

void UndeletableJobs::RememberGoing(const std::string& path, const platform::FileIdentity& file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Entry entry{Listed(file), m_nextOrder++, true};
    m_entries[path] = entry;
    Save(path, entry);
}

bool UndeletableJobs::Contains(const std::string& path, const platform::FileIdentity& listed) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(path);
    return found != m_entries.end() && found->second.file.SameVersionAs(listed);
}

void UndeletableJobs::ForgetChanged(FolderSnapshot& folders, const PathFilter& which) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (!which(entry->first)) {
            ++entry;
            continue;
        }
        platform::DirEntry now;
        const FolderSnapshot::Look look = folders.Find(entry->first, &now);
        Entry& job = entry->second;
        bool forget = look == FolderSnapshot::Look::Absent;
        if (look == FolderSnapshot::Look::Present) {
            forget = !job.file.SameVersionAs(now.Identity());
            if (!forget && job.file.changeTime == 0 && now.changeTime != 0) {
                // Remembered by an earlier version or without the time: from now on the
                // time it has tells a rewrite.
                job.file.changeTime = now.changeTime;
                Save(entry->first, job);
            }
        }
        if (forget) {
            if (m_store) {
                m_store->Erase(entry->first);
            }
            entry = m_entries.erase(entry);
        } else {
            ++entry;
        }
    }
}

std::size_t UndeletableJobs::Count(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_entries.begin(), m_entries.end(), [&](const auto& entry) {
        return !entry.second.going && IsWithin(entry.first, folder);
    }));
}

std::string UndeletableJobs::Newest(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::pair<const std::string, Entry>* newest = nullptr;
    for (const auto& entry : m_entries) {
        if (!entry.second.going && IsWithin(entry.first, folder) &&
            (!newest || entry.second.order > newest->second.order)) {
            newest = &entry;
        }
    }
    return newest ? newest->first : std::string();
}

void UndeletableJobs::Save(const std::string& path, const Entry& entry) {
    if (m_store) {
        m_store->Write(path, std::to_string(entry.file.size) + ' ' + std::to_string(entry.file.lastWrite) + ' ' +
                                 std::to_string(entry.order) + ' ' + std::to_string(entry.file.changeTime));
    }
}
