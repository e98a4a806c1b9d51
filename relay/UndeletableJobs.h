// Jobs that were relayed completely but could not be deleted. The search passes
// over them until they change, so a stuck file is not printed again and again,
// not even by the next run of the program: the memory is kept in a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

class UndeletableJobs {
public:
    // Named text values that outlive the process. Each remembered job is one
    // value: its name is the job's full path, its text three decimal numbers
    // separated by blanks: the size in bytes, the last-write time as the
    // platform reports it (a FILETIME on Windows) and the order in which it
    // was remembered (higher is newer), e.g. "1241 134097543210000000 17".
    class Store {
    public:
        virtual ~Store() = default;
        virtual std::vector<std::pair<std::string, std::string>> ReadAll() = 0;
        virtual void Write(const std::string& name, const std::string& text) = 0;
        virtual void Erase(const std::string& name) = 0;
    };

    // Only the newest are kept, so a folder of stuck jobs cannot grow the store
    // without end.
    static constexpr std::size_t kMaxEntries = 256;

    // Takes the jobs an earlier run remembered in `store`, and keeps every
    // later change there. Made before the first job starts.
    void KeepIn(std::unique_ptr<Store> store);
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
        uint64_t order;
    };
    void Forget(std::vector<Entry>::iterator first, std::vector<Entry>::iterator last);

    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::vector<Entry> m_entries;  // oldest first
    std::unique_ptr<Store> m_store;
    uint64_t m_nextOrder = 0;
};
