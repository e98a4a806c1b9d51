// Jobs that could not be opened for a reason other than a producer holding
// them: a name the system's byte-string functions cannot spell, a path too
// long. The search passes over each for a while, twice as long after every
// failed attempt, so the jobs behind it keep flowing; a file that changes or
// goes is forgotten at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

class UnopenableJobs {
public:
    static constexpr int64_t kFirstBackOffSeconds = 30;
    static constexpr int64_t kLongestBackOffSeconds = 600;

    explicit UnopenableJobs(platform::LeadByteTest isLeadByte) : m_isLeadByte(isLeadByte) {}

    // Notes a failed attempt on the file at `path`, identified by its exact
    // name in its folder's listing. A file no longer listed is not noted.
    void Remember(platform::FileSystem& fs, const std::string& path, int64_t now);
    // True while this exact file (same path, size and last-write time) is
    // being passed over.
    bool PassesOver(const std::string& path, uint64_t size, uint64_t lastWrite, int64_t now) const;
    // Forgets the files that are no longer listed as they were.
    void ForgetChanged(platform::FileSystem& fs);

private:
    struct Entry {
        std::string path;
        uint64_t size;
        uint64_t lastWrite;
        int64_t backOff;
        int64_t until;
    };
    // The entry passing over this file now; the caller holds the lock.
    const Entry* Find(const std::string& path, uint64_t size, uint64_t lastWrite, int64_t now) const;
    // The folder part of a path, which a listing of the folder searches.
    std::string FolderOf(const std::string& path) const;

    const platform::LeadByteTest m_isLeadByte;
    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::vector<Entry> m_entries;
};
