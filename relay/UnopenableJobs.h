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
    // The same for a file whose listing is at hand.
    bool Remember(const std::string& path, const platform::FileIdentity& listed, int64_t now);
    // True when this version of the file at `path` has failed before, whether
    // or not its back-off has run out.
    bool Knows(const std::string& path, const platform::FileIdentity& listed) const;
    // True when some file's back-off has run out, so that it is due a retry.
    bool AnyDue(int64_t now) const;
    // True while this exact file is being passed over.
    bool PassesOver(const std::string& path, const platform::FileIdentity& listed, int64_t now) const;
    // Those in `folder` (a path ending in its separator).
    std::size_t Count(const std::string& folder) const;
    // The path of one of those in `folder`; empty when there is none.
    std::string AnyPath(const std::string& folder) const;
    // Forgets the files `which` selects that are no longer listed as they
    // were; a folder that cannot be listed forgets nothing.
    void ForgetChanged(FolderSnapshot& folders, const PathFilter& which);

private:
    struct Entry {
        platform::FileIdentity file;
        int64_t backOff;
        int64_t until;
    };
    // The entry of this file; the caller holds the lock.
    const Entry* Find(const std::string& path, const platform::FileIdentity& listed) const;

    const platform::LeadByteTest m_isLeadByte;
    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::map<std::string, Entry> m_entries;
};
