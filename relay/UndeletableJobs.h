// Jobs that were relayed completely but could not be deleted. The search passes
// over them until they change, so a stuck file is not printed again and again.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"

class UndeletableJobs {
public:
    void Remember(const std::string& path, uint64_t size, uint64_t lastWrite);
    // True when this exact file (same path, size and last-write time) is remembered.
    bool Contains(const std::string& path, uint64_t size, uint64_t lastWrite) const;
    // Forgets the files that are gone or have changed, so that a new job that
    // happens to match a stuck one's path, size and time is not passed over.
    void ForgetChanged(platform::FileSystem& fs);

private:
    struct Entry {
        std::string path;
        uint64_t size;
        uint64_t lastWrite;
    };
    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::vector<Entry> m_entries;
};
