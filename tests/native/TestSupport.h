// Helpers shared by the native engine tests: a scratch folder, a clock that
// does not sleep, and file systems that record or break on purpose.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Wildcard.h"

namespace testing_support {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "relay-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Distinct bytes so that a lost, doubled or shifted chunk shows.
inline std::string Pattern(size_t size, unsigned seed = 0) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
    }
    return text;
}

class FakeClock : public platform::Clock {
public:
    int64_t NowSeconds() override { return now; }
    int64_t MonotonicMs() override { return monotonicMs; }
    void SleepMs(uint32_t ms) override {
        sleeps.push_back(ms);
        if (onSleep) {
            onSleep();
        }
    }
    // No real wait: a signal only ends this pause early.
    void SleepMs(uint32_t ms, platform::WakeUp& wakeUp) override {
        if (!wakeUp.Take()) {
            SleepMs(ms);
        }
    }
    int64_t now = 0;
    int64_t monotonicMs = 0;
    std::vector<uint32_t> sleeps;
    std::function<void()> onSleep;
};

// Answers FindFirst from listings keyed by the exact search path and records
// every path asked for; nothing else is expected of it.
class ScriptedFileSystem : public platform::FileSystem {
public:
    bool FindFirst(const std::string& path, const std::function<bool(const platform::DirEntry&)>& accept,
                   platform::DirEntry* found) override {
        searched.push_back(path);
        for (const platform::DirEntry& entry : listings[path]) {
            if (accept(entry)) {
                *found = entry;
                return true;
            }
        }
        return false;
    }
    // A folder is listed when `folders` has it, and fails to list otherwise.
    bool ListFolder(const std::string& folder,
                    const std::function<void(const platform::DirEntry&)>& each) override {
        const auto listed = folders.find(folder);
        if (listed == folders.end()) {
            return false;
        }
        for (const platform::DirEntry& entry : listed->second) {
            each(entry);
        }
        return true;
    }
    platform::FileKind Inspect(const std::string& path) override {
        const auto answer = kinds.find(path);
        return answer != kinds.end() ? answer->second : platform::FileKind::DiskFile;
    }
    platform::Probe ProbeExclusive(const std::string& path) override {
        probed.push_back(path);
        const auto answer = probeAnswers.find(path);
        return answer != probeAnswers.end() ? answer->second : platform::Probe::Ready;
    }
    std::unique_ptr<platform::File> OpenOutput(const std::string&, const std::string&,
                                               platform::OpenFailure*) override {
        return nullptr;
    }
    platform::OpenFailure TryOutput(const std::string&) override { return outputFailure; }
    std::unique_ptr<platform::File> OpenSource(const std::string&) override { return nullptr; }
    // A job of `jobs` opens as its bytes; nothing else opens.
    class MemoryFile : public platform::File {
    public:
        explicit MemoryFile(std::string bytes) : m_bytes(std::move(bytes)) {}
        bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
            *bytesRead = static_cast<uint32_t>(m_bytes.copy(static_cast<char*>(buffer), size, m_at));
            m_at += *bytesRead;
            return true;
        }
        bool Write(const void*, uint32_t, uint32_t* bytesWritten) override {
            *bytesWritten = 0;
            return false;
        }
        void TruncateIfDiskFile() override {}
        bool Identify(platform::FileIdentity* identity) override {
            identity->size = m_bytes.size();
            return true;
        }

    private:
        std::string m_bytes;
        size_t m_at = 0;
    };
    std::unique_ptr<platform::File> OpenJob(const std::string& path) override {
        const auto job = jobs.find(path);
        return job != jobs.end() ? std::make_unique<MemoryFile>(job->second) : nullptr;
    }
    bool Identify(const std::string&, platform::FileIdentity*) override { return false; }
    bool IsMissing(const std::string&) override { return true; }
    bool SameFile(const std::string& a, const std::string& b) override {
        return !a.empty() && a == b;
    }
    // A watch while `watchable`; `watchChanged` reports a change to the latest.
    class Watch : public platform::FolderWatch {
    public:
        explicit Watch(const bool& healthy) : m_healthy(healthy) {}
        bool Healthy() const override { return m_healthy; }

    private:
        const bool& m_healthy;
    };
    std::unique_ptr<platform::FolderWatch> WatchFolder(const std::string& folder,
                                                       std::function<void()> onChange) override {
        if (!watchable) {
            return nullptr;
        }
        watched.push_back(folder);
        watchChanged = std::move(onChange);
        return std::make_unique<Watch>(watchHealthy);
    }

    std::map<std::string, std::vector<platform::DirEntry>> listings;
    std::map<std::string, std::vector<platform::DirEntry>> folders;
    std::map<std::string, platform::Probe> probeAnswers;
    std::map<std::string, platform::FileKind> kinds;
    std::map<std::string, std::string> jobs;
    std::vector<std::string> searched;
    std::vector<std::string> probed;
    platform::OpenFailure outputFailure = platform::OpenFailure::NotFound;
    bool watchable = true;
    bool watchHealthy = true;
    std::vector<std::string> watched;
    std::function<void()> watchChanged;
};

inline platform::DirEntry FileEntry(const std::string& name, uint64_t size = 1, uint64_t lastWrite = 1,
                                    uint64_t changeTime = 0) {
    platform::DirEntry entry;
    entry.name = name;
    entry.size = size;
    entry.lastWrite = lastWrite;
    entry.changeTime = changeTime;
    return entry;
}

inline platform::FileIdentity Identity(uint64_t size, uint64_t lastWrite, uint64_t changeTime = 0) {
    platform::FileIdentity identity;
    identity.size = size;
    identity.lastWrite = lastWrite;
    identity.changeTime = changeTime;
    return identity;
}

// Every remembered path, for the passes of the memories.
inline bool Everywhere(const std::string&) { return true; }

inline platform::DirEntry DirectoryEntry(const std::string& name) {
    platform::DirEntry entry;
    entry.name = name;
    entry.isDirectory = true;
    return entry;
}

// The real POSIX file system with faults and hooks on top.
class FaultyFileSystem : public platform::FileSystem {
public:
    // Counts writes across every output; `shortWriteAt` (1-based) accepts one
    // byte less than asked, `failWriteAt` accepts none and fails.
    struct WriteFaults {
        int writes = 0;
        int shortWriteAt = 0;
        int failWriteAt = 0;
        std::function<void(int)> afterWrite;
        // A spooled printer: nothing counts until Finish, which may fail.
        bool spooled = false;
        bool finishFails = false;
        int finishes = 0;
        platform::SpoolTicket ticket;  // what the spooler said when it took the document
    };

    bool FindFirst(const std::string& path, const std::function<bool(const platform::DirEntry&)>& accept,
                   platform::DirEntry* found) override {
        if (onFindFirst) {
            onFindFirst(path);
        }
        if (path == failingLookupOf && failingLookups > 0) {
            --failingLookups;
            return false;
        }
        return real.FindFirst(path, accept, found);
    }
    bool ListFolder(const std::string& folder,
                    const std::function<void(const platform::DirEntry&)>& each) override {
        return !failingLists && real.ListFolder(folder, each);
    }
    platform::FileKind Inspect(const std::string& path) override { return real.Inspect(path); }
    platform::Probe ProbeExclusive(const std::string& path) override {
        const auto answer = probeAnswers.find(path);
        const platform::Probe probe =
            answer != probeAnswers.end() ? answer->second : real.ProbeExclusive(path);
        if (onProbe) {
            onProbe(probe);
        }
        return probe;
    }
    std::unique_ptr<platform::File> OpenOutput(const std::string& path, const std::string& document,
                                               platform::OpenFailure* failure) override {
        ++outputOpens;
        if (onOpenOutput) {
            onOpenOutput();
        }
        auto file = real.OpenOutput(path, document, failure);
        return file ? std::make_unique<FaultyOutput>(std::move(file), writeFaults) : nullptr;
    }
    platform::OpenFailure TryOutput(const std::string& path) override { return real.TryOutput(path); }
    std::unique_ptr<platform::File> OpenSource(const std::string& path) override {
        if (unopenableSources.count(path)) {
            return nullptr;
        }
        auto file = real.OpenSource(path);
        if (file && failReadOf == path) {
            return std::make_unique<FailingReads>(std::move(file), failReadAfter);
        }
        return file;
    }
    std::unique_ptr<platform::File> OpenJob(const std::string& path) override {
        if (unopenableSources.count(path)) {
            return nullptr;
        }
        auto file = real.OpenJob(path);
        if (file && failReadOf == path) {
            file = std::make_unique<FailingReads>(std::move(file), failReadAfter);
        }
        return file ? std::make_unique<FaultyJob>(std::move(file), *this) : nullptr;
    }
    bool Identify(const std::string& path, platform::FileIdentity* identity) override {
        return !unidentifiable && real.Identify(path, identity);
    }

    static bool IsReadOnly(const std::string& path) {
        struct stat st;
        return stat(platform::posix::ToNativePath(path).c_str(), &st) == 0 &&
               (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }
    bool IsMissing(const std::string& path) override {
        if (path == failingLookupOf && failingLookups > 0) {
            --failingLookups;
            return false;  // an error other than "not found" tells nothing
        }
        return real.IsMissing(path);
    }
    bool SameFile(const std::string& a, const std::string& b) override {
        return real.SameFile(a, b);
    }

    platform::FileSystem& real = platform::SystemFileSystem();
    std::function<void(const std::string&)> onFindFirst;
    std::function<void(platform::Probe)> onProbe;
    std::function<void()> onOpenOutput;
    std::function<void()> onJobIdentify;  // the worker has read the job to its end
    std::set<std::string> unopenableSources;
    std::map<std::string, platform::Probe> probeAnswers;  // instead of probing the file
    // Looking up this path fails, as on a network hiccup, this many times.
    std::string failingLookupOf;
    int failingLookups = 0;
    std::string failReadOf;
    int failReadAfter = 0;  // successful reads before the failing one
    bool deleteRefused = false;     // the job was opened without delete access
    bool deleteLeavesFile = false;  // accepted, but the file stays, as Wine on `chattr +i`
    bool unidentifiable = false;    // identities cannot be read, as on some redirectors
    bool failingLists = false;      // folder listings fail, as on a drive not yet mapped
    int deleteAttempts = 0;
    int outputOpens = 0;
    WriteFaults writeFaults;

private:
    class FaultyJob : public platform::File {
    public:
        FaultyJob(std::unique_ptr<platform::File> file, FaultyFileSystem& fs)
            : m_file(std::move(file)), m_fs(fs) {}
        bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
            return m_file->Read(buffer, size, bytesRead);
        }
        bool Write(const void*, uint32_t, uint32_t* bytesWritten) override {
            *bytesWritten = 0;
            return false;
        }
        void TruncateIfDiskFile() override {}
        bool Identify(platform::FileIdentity* identity) override {
            if (m_fs.onJobIdentify) {
                m_fs.onJobIdentify();
            }
            return !m_fs.unidentifiable && m_file->Identify(identity);
        }
        platform::Deletion DeleteWhenClosed() override {
            ++m_fs.deleteAttempts;
            if (m_fs.deleteRefused) {
                return platform::Deletion::Refused;
            }
            return m_fs.deleteLeavesFile ? platform::Deletion::Accepted : m_file->DeleteWhenClosed();
        }

    private:
        std::unique_ptr<platform::File> m_file;
        FaultyFileSystem& m_fs;
    };

    class FaultyOutput : public platform::File {
    public:
        FaultyOutput(std::unique_ptr<platform::File> file, WriteFaults& faults)
            : m_file(std::move(file)), m_faults(faults) {}
        bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
            return m_file->Read(buffer, size, bytesRead);
        }
        bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
            const int index = ++m_faults.writes;
            bool ok;
            if (index == m_faults.failWriteAt) {
                *bytesWritten = 0;
                ok = false;
            } else {
                ok = m_file->Write(buffer, index == m_faults.shortWriteAt ? size - 1 : size, bytesWritten);
            }
            if (m_faults.afterWrite) {
                m_faults.afterWrite(index);
            }
            return ok;
        }
        void TruncateIfDiskFile() override { m_file->TruncateIfDiskFile(); }
        bool Identify(platform::FileIdentity* identity) override {
            return m_file->Identify(identity);
        }
        bool Finish() override {
            ++m_faults.finishes;
            return !m_faults.finishFails;
        }
        bool CommitsOnFinish() const override { return m_faults.spooled; }
        platform::SpoolTicket Spooled() const override { return m_faults.ticket; }

    private:
        std::unique_ptr<platform::File> m_file;
        WriteFaults& m_faults;
    };

    class FailingReads : public platform::File {
    public:
        FailingReads(std::unique_ptr<platform::File> file, int goodReads)
            : m_file(std::move(file)), m_goodReads(goodReads) {}
        bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
            if (m_goodReads-- <= 0) {
                *bytesRead = 0;
                return false;
            }
            return m_file->Read(buffer, size, bytesRead);
        }
        bool Write(const void*, uint32_t, uint32_t* bytesWritten) override {
            *bytesWritten = 0;
            return false;
        }
        void TruncateIfDiskFile() override {}
        bool Identify(platform::FileIdentity* identity) override {
            return m_file->Identify(identity);
        }
        platform::Deletion DeleteWhenClosed() override { return m_file->DeleteWhenClosed(); }

    private:
        std::unique_ptr<platform::File> m_file;
        int m_goodReads;
    };
};

}  // namespace testing_support
