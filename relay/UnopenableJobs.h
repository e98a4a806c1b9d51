// Jobs that could not be relayed for a reason other than a producer holding
// them: a path too long, no access, a read that fails part-way. The search
// passes over each for a while, twice as long after every failed attempt, and
// tries fresh files before any of them, so the jobs behind them keep flowing;
// a file that changes or goes is forgotten.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/Platform.h"
#include "relay/FolderSnapshot.h"

class UnopenableJobs {
public:
    explicit UnopenableJobs(platform::LeadByteTest isLeadByte) : m_isLeadByte(isLeadByte) {}

    // Notes a failed attempt on the file at `path`, as its folder lists it
    // now. A file no longer listed is not noted. True when the file was not
    // known before.
    bool Remember(platform::FileSystem& fs, const std::string& path, int64_t now);
    // The same for a file whose listed size and last-write time are at hand.
    bool Remember(const std::string& path, uint64_t size, uint64_t lastWrite, int64_t now);
    // True when this exact file (same path, size and last-write time) has
    // failed before, whether or not its back-off has run out.
    bool Knows(const std::string& path, uint64_t size, uint64_t lastWrite) const;
    // True when some file's back-off has run out, so that it is due a retry.
    bool AnyDue(int64_t now) const;
    // True while this exact file is being passed over.
    bool PassesOver(const std::string& path, uint64_t size, uint64_t lastWrite, int64_t now) const;
    std::size_t Count() const;
    // The path of one of them; empty when there is none.
    std::string AnyPath() const;
    // Forgets the files that are no longer listed as they were; a folder that
    // cannot be listed forgets nothing.
    void ForgetChanged(FolderSnapshot& folders);

private:
    struct Entry {
        uint64_t size;
        uint64_t lastWrite;
        int64_t backOff;
        int64_t until;
    };
    // The entry of this file; the caller holds the lock.
    const Entry* Find(const std::string& path, uint64_t size, uint64_t lastWrite) const;

    const platform::LeadByteTest m_isLeadByte;
    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::map<std::string, Entry> m_entries;
};
