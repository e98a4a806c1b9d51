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

}  // namespace

void UndeletableJobs::KeepIn(std::unique_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store = std::move(store);
    m_entries.clear();
    m_nextOrder = 0;
    for (const auto& [name, text] : m_store->ReadAll()) {
        Entry entry{0, 0, 0, 0};
        size_t pos = 0;
        bool valid = ReadNumber(text, pos, &entry.size) && ReadBlank(text, pos) &&
                     ReadNumber(text, pos, &entry.lastWrite) && ReadBlank(text, pos) &&
                     ReadNumber(text, pos, &entry.order);
        if (valid && pos < text.size()) {
            valid = ReadBlank(text, pos) && ReadNumber(text, pos, &entry.changeTime);
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
    const Entry entry{file.size, file.lastWrite, m_nextOrder++, file.changeTime};
    m_entries[path] = entry;
    Save(path, entry);
}

bool UndeletableJobs::Contains(const std::string& path, uint64_t size, uint64_t lastWrite) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_entries.find(path);
    return found != m_entries.end() && found->second.size == size && found->second.lastWrite == lastWrite;
}

void UndeletableJobs::ForgetChanged(FolderSnapshot& folders) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        platform::DirEntry now;
        const FolderSnapshot::Look look = folders.Find(entry->first, &now);
        Entry& job = entry->second;
        bool forget = look == FolderSnapshot::Look::Absent;
        if (look == FolderSnapshot::Look::Present) {
            forget = now.size != job.size || now.lastWrite != job.lastWrite ||
                     (job.changeTime != 0 && now.changeTime != 0 && now.changeTime != job.changeTime);
            if (!forget && job.changeTime == 0 && now.changeTime != 0) {
                // Remembered by an earlier version or without the time: from now on the
                // time it has tells a rewrite.
                job.changeTime = now.changeTime;
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

std::size_t UndeletableJobs::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

std::string UndeletableJobs::Newest() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto newest = std::max_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
        return a.second.order < b.second.order;
    });
    return newest == m_entries.end() ? std::string() : newest->first;
}

void UndeletableJobs::Save(const std::string& path, const Entry& entry) {
    if (m_store) {
        m_store->Write(path, std::to_string(entry.size) + ' ' + std::to_string(entry.lastWrite) + ' ' +
                                 std::to_string(entry.order) + ' ' + std::to_string(entry.changeTime));
    }
}
