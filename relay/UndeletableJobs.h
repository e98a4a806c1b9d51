// Jobs that were relayed completely but could not be deleted. The search passes
// over them until they change, so a stuck file is not printed again and again,
// not even by the next run of the program: the memory is kept in a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "relay/FolderSnapshot.h"

class UndeletableJobs {
public:
    // Named text values that outlive the process. Each remembered job is one
    // value: its name is the job's full path, its text four decimal numbers
    // separated by blanks: the size in bytes, the last-write time and the
    // change time as the platform reports them (FILETIMEs on Windows; 0 for a
    // change time not known) and the order in which it was remembered (higher
    // is newer), e.g. "1241 134097543210000000 17 134097543250000000". Earlier
    // versions wrote the first three numbers only.
    class Store {
    public:
        virtual ~Store() = default;
        virtual std::vector<std::pair<std::string, std::string>> ReadAll() = 0;
        virtual void Write(const std::string& name, const std::string& text) = 0;
        virtual void Erase(const std::string& name) = 0;
    };

    // Takes the jobs an earlier run remembered in `store`, and keeps every
    // later change there. Made before the first job starts.
    void KeepIn(std::unique_ptr<Store> store);
    void Remember(const std::string& path, const platform::FileIdentity& file);
    // A job whose delete is pending until another program lets go of it: passed
    // over like a stuck one until it goes, but not counted, for it is no
    // trouble. Kept across runs like the others: one still there then has
    // stayed after all, and counts.
    void RememberGoing(const std::string& path, const platform::FileIdentity& file);
    // True when this version of the file at `path` is remembered.
    bool Contains(const std::string& path, const platform::FileIdentity& listed) const;
    // Forgets the jobs `which` selects that are no longer in their folder or
    // are there as another version (a change time that moved says the file
    // was written, even when size and last-write time were put back). A
    // folder that cannot be listed forgets nothing. So the memory holds no
    // more than the stuck jobs present, however many they are.
    void ForgetChanged(FolderSnapshot& folders, const PathFilter& which);
    // The stuck jobs in `folder` (a path ending in its separator).
    std::size_t Count(const std::string& folder) const;
    // The path of the job in `folder` remembered last; empty when there is none.
    std::string Newest(const std::string& folder) const;

private:
    struct Entry {
        platform::FileIdentity file;
        uint64_t order;
        bool going;
    };
    void Save(const std::string& path, const Entry& entry);

    mutable std::mutex m_mutex;  // the worker adds, the interface thread looks up
    std::map<std::string, Entry> m_entries;
    std::unique_ptr<Store> m_store;
    uint64_t m_nextOrder = 0;
};
