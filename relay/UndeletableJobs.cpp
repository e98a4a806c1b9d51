#include "relay/UndeletableJobs.h"

#include <algorithm>
#include <limits>

namespace {

std::string Encode(uint64_t size, uint64_t lastWrite, uint64_t order) {
    return std::to_string(size) + ' ' + std::to_string(lastWrite) + ' ' + std::to_string(order);
}

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

bool Decode(const std::string& text, uint64_t* size, uint64_t* lastWrite, uint64_t* order) {
    size_t pos = 0;
    return ReadNumber(text, pos, size) && ReadBlank(text, pos) &&
           ReadNumber(text, pos, lastWrite) && ReadBlank(text, pos) &&
           ReadNumber(text, pos, order) && pos == text.size();
}

}  // namespace

void UndeletableJobs::KeepIn(std::unique_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store = std::move(store);
    m_entries.clear();
    for (const auto& [name, text] : m_store->ReadAll()) {
        Entry entry{name, 0, 0, 0};
        if (Decode(text, &entry.size, &entry.lastWrite, &entry.order)) {
            m_entries.push_back(std::move(entry));
        } else {
            m_store->Erase(name);  // not in this program's form: it could only linger
        }
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.order < b.order; });
    if (m_entries.size() > kMaxEntries) {
        Forget(m_entries.begin(), m_entries.end() - kMaxEntries);
    }
    m_nextOrder = m_entries.empty() ? 0 : m_entries.back().order + 1;
}

void UndeletableJobs::Remember(const std::string& path, uint64_t size, uint64_t lastWrite) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // One entry per path: a changed file that gets stuck again replaces its old
    // self, in the store too, where the value of that name is overwritten.
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& entry) { return entry.path == path; }),
                    m_entries.end());
    m_entries.push_back({path, size, lastWrite, m_nextOrder++});
    if (m_store) {
        m_store->Write(path, Encode(size, lastWrite, m_entries.back().order));
    }
    if (m_entries.size() > kMaxEntries) {
        Forget(m_entries.begin(), m_entries.begin() + 1);
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
    const auto unchanged = [&](const Entry& entry) {
        platform::DirEntry now;
        const auto isFile = [](const platform::DirEntry& e) { return !e.isDirectory; };
        return fs.FindFirst(entry.path, isFile, &now) && now.size == entry.size &&
               now.lastWrite == entry.lastWrite;
    };
    Forget(std::stable_partition(m_entries.begin(), m_entries.end(), unchanged), m_entries.end());
}

void UndeletableJobs::Forget(std::vector<Entry>::iterator first,
                             std::vector<Entry>::iterator last) {
    if (m_store) {
        for (auto entry = first; entry != last; ++entry) {
            m_store->Erase(entry->path);
        }
    }
    m_entries.erase(first, last);
}
