// The search of the watched folder for the next job file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "relay/UndeletableJobs.h"
#include "relay/UnopenableJobs.h"

// A file the search passes over, with its size and what its path leads to.
struct PassedOver {
    std::string path;
    uint64_t size = 0;
    platform::FileKind kind = platform::FileKind::DiskFile;
};

// What the search passes over besides directories and undeletable jobs.
struct SearchExclusions {
    std::vector<std::string> ownFiles;  // the output, header and footer: never jobs
    UnopenableJobs* unopenable = nullptr;
    int64_t now = 0;  // the clock's seconds, for the unopenable jobs' back-off
    // Receives the names (UTF-8 where known) of files passed over because the
    // listing spells them only approximately.
    std::vector<std::string>* approximateNames = nullptr;
    // Receives the files the search found it cannot open, when first noted.
    std::vector<PassedOver>* newlyUnopenable = nullptr;
    // The companion's suffix: a job whose companion is there is not opened.
    const std::string* waitingSuffix = nullptr;
    // Set when the job found opened exclusively just now, with no companion
    // there: nothing needs waiting for.
    bool* foundReady = nullptr;
};

// True when `path` names the same file as one of the non-empty `files`.
bool NamesAnyOf(platform::FileSystem& fs, const std::string& path,
                const std::vector<std::string>& files);

// True when a listed entry's name, joined to its folder, names that very
// entry: spelt exactly, and a plain file name (see IsPlainFileName).
bool IsPlainName(const platform::DirEntry& entry, platform::LeadByteTest isLeadByte);

// Tries the ";"-separated patterns of `patterns` in order in `folder` and
// stores the first regular file found in `foundFile`. Appends a backslash to
// `folder` when it has none at its end. Where unopenable jobs are kept, each
// candidate is first opened for a moment: one that cannot be opened is noted
// there and passed over, without a relay. Files that failed before are tried
// only when no fresh one is waiting, and only once their back-off has run out.
bool FindTargetFile(std::string& folder, const std::string& patterns, std::string& foundFile,
                    platform::FileSystem& fs, const UndeletableJobs& undeletable,
                    platform::LeadByteTest isLeadByte, const SearchExclusions& exclusions = {});
