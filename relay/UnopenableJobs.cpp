#include "relay/UnopenableJobs.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "platform/MbcsText.h"

namespace {

constexpr int64_t kFirstBackOffSeconds = 30;
constexpr int64_t kLongestBackOffSeconds = 600;

using Listed = std::tuple<std::string, uint64_t, uint64_t>;  // name, size, last write

// The files of a folder by their exact names: a name that holds "?" for a
// character the code page lacks, or that makes the path too long to search,
// is still found here, where a search for its own path would fail or match
// other files.
std::set<Listed> ListFiles(platform::FileSystem& fs, const std::string& folder) {
    std::set<Listed> files;
    platform::DirEntry neverTaken;
    fs.FindFirst(
        folder + "*",
        [&](const platform::DirEntry& entry) {
            if (!entry.isDirectory) {
                files.emplace(entry.name, entry.size, entry.lastWrite);
            }
            return false;
        },
        &neverTaken);
    return files;
}

}  // namespace

void UnopenableJobs::Remember(platform::FileSystem& fs, const std::string& path, int64_t now) {
    const std::string folder = FolderOf(path);
    const std::string name = path.substr(folder.size());
    std::lock_guard<std::mutex> lock(m_mutex);
    // Several files can be listed under one name ("?.GLF" for two names the
    // code page lacks); like the search, take the first not passed over.
    platform::DirEntry file;
    const auto isThisFile = [&](const platform::DirEntry& entry) {
        return !entry.isDirectory && entry.name == name &&
               Find(path, entry.size, entry.lastWrite, now) == nullptr;
    };
    if (!fs.FindFirst(folder + "*", isThisFile, &file)) {
        return;  // gone: nothing to pass over
    }
    const auto same = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return entry.path == path && entry.size == file.size && entry.lastWrite == file.lastWrite;
    });
    if (same == m_entries.end()) {
        m_entries.push_back(
            {path, file.size, file.lastWrite, kFirstBackOffSeconds, now + kFirstBackOffSeconds});
    } else {
        same->backOff = std::min(same->backOff * 2, kLongestBackOffSeconds);
        same->until = now + same->backOff;
    }
}

bool UnopenableJobs::PassesOver(const std::string& path, uint64_t size, uint64_t lastWrite,
                                int64_t now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Find(path, size, lastWrite, now) != nullptr;
}

void UnopenableJobs::ForgetChanged(platform::FileSystem& fs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::map<std::string, std::set<Listed>> listings;  // each folder listed once
    const auto changed = [&](const Entry& entry) {
        const std::string folder = FolderOf(entry.path);
        auto listing = listings.find(folder);
        if (listing == listings.end()) {
            listing = listings.emplace(folder, ListFiles(fs, folder)).first;
        }
        return listing->second.count(
                   Listed(entry.path.substr(folder.size()), entry.size, entry.lastWrite)) == 0;
    };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), changed), m_entries.end());
}

const UnopenableJobs::Entry* UnopenableJobs::Find(const std::string& path, uint64_t size,
                                                  uint64_t lastWrite, int64_t now) const {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return entry.path == path && entry.size == size && entry.lastWrite == lastWrite &&
               now < entry.until;
    });
    return found == m_entries.end() ? nullptr : &*found;
}

std::string UnopenableJobs::FolderOf(const std::string& path) const {
    size_t length = mbcs::FolderPartLength(path, m_isLeadByte);
    if (length == 0 && path.size() >= 2 && path[1] == ':') {
        length = 2;  // "D:JOB.GLF" lies in the current folder of drive D
    }
    return path.substr(0, length);
}
