// The few services the relay engine needs from the operating system. The
// product links the Win32 twin, native builds and tests the POSIX one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Tells whether a byte starts a double-byte character in the code page the
// engine's strings are in (Shift-JIS on the target systems).
using LeadByteTest = bool (*)(unsigned char);
bool IsLeadByteSystem(unsigned char c);  // the process's ANSI code page
bool IsLeadByteSjis(unsigned char c);    // code page 932, whatever the system uses
bool IsLeadByteNone(unsigned char c);    // single-byte code pages

// One entry reported by a directory search.
struct DirEntry {
    std::string name;  // the bare name, as the directory search reports it
    bool isDirectory = false;
    uint64_t size = 0;
    uint64_t lastWrite = 0;  // opaque, only compared for equality
};

// Tells a file from another that took its name: size and last-write time as
// a directory search reports them, and the file's place on its volume where
// the platform has one (zero otherwise).
struct FileIdentity {
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& other) const {
        return size == other.size && lastWrite == other.lastWrite && volume == other.volume &&
               index == other.index;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// Why an output could not be opened, as far as the system tells.
enum class OpenFailure { None, NotFound, Busy, AccessDenied, Other };

// How an exclusive open of a job file went. Busy means another program holds
// it; Unopenable is any other failure (a name or path the system cannot open).
enum class Probe { Ready, Busy, Missing, Unopenable };

// An open file or device. Closed when the object goes.
class File {
public:
    virtual ~File() = default;
    // One synchronous read of up to `size` bytes; false when the read failed.
    virtual bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) = 0;
    // One synchronous write; reports the count the output accepted (0 on failure).
    virtual bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) = 0;
    // For plain disk files: cut the file at the current position. Devices and
    // pipes are left alone.
    virtual void TruncateIfDiskFile() = 0;
    // The identity of the open file; false when the platform cannot tell it.
    virtual bool Identify(FileIdentity* identity) = 0;
    // Ends the output of one job. A spooled print job reaches the printer
    // only here; false when the output did not take the whole document.
    virtual bool Finish() { return true; }
    // True when nothing is printed until Finish succeeds, so that the job file
    // has to stay until then.
    virtual bool CommitsOnFinish() const { return false; }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Walks the entries matching `path` (its last component may hold "*" and
    // "?") and returns the first one `accept` takes; false when there is none or
    // the path cannot be searched.
    virtual bool FindFirst(const std::string& path,
                           const std::function<bool(const DirEntry&)>& accept,
                           DirEntry* found) = 0;
    // Opens for reading with no sharing and closes again at once.
    virtual Probe ProbeExclusive(const std::string& path) = 0;
    // Read/write, no sharing, created when missing, not truncated.
    // `documentName` names the print job where the output is a spooled
    // printer; `failure`, when given, receives why the open failed.
    virtual std::unique_ptr<File> OpenOutput(const std::string& path,
                                             const std::string& documentName,
                                             OpenFailure* failure) = 0;
    // Read-only, shared for reading, must exist.
    virtual std::unique_ptr<File> OpenSource(const std::string& path) = 0;
    virtual bool Delete(const std::string& path) = 0;
    // The identity of the file at `path` now; false when there is none.
    virtual bool Identify(const std::string& path, FileIdentity* identity) = 0;
    // Clears the read-only attribute; false when the file did not carry it or
    // it could not be cleared.
    virtual bool ClearReadOnly(const std::string& path) = 0;
    virtual void RestoreReadOnly(const std::string& path) = 0;
    // True only when the system reports that the file or a folder on its path
    // does not exist; any other failure to look tells nothing.
    virtual bool IsMissing(const std::string& path) = 0;
    // True when both paths resolve to the same file. A device or an empty path
    // names no file.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowSeconds() = 0;  // wall clock, seconds since 1970 (UTC)
    virtual void SleepMs(uint32_t ms) = 0;
};

// Thread priorities in the Win32 numbering, which the POSIX twin maps as it can.
enum ThreadPriority : int {
    PriorityIdle = -15,
    PriorityLowest = -2,
    PriorityBelowNormal = -1,
    PriorityNormal = 0,
    PriorityAboveNormal = 1,
    PriorityHighest = 2,
    PriorityTimeCritical = 15,
};

class ThreadStarter {
public:
    virtual ~ThreadStarter() = default;
    // Starts a detached thread at the given priority; false when it could not
    // be created (then `proc` never runs).
    virtual bool Start(unsigned (*proc)(void*), void* arg, int priority) = 0;
    // Asks the operating system to break off a read or write that the last
    // started thread is blocked in, where it can.
    virtual void InterruptBlockedIo() = 0;
};

// The platform's own implementations.
FileSystem& SystemFileSystem();
Clock& SystemClock();
ThreadStarter& SystemThreadStarter();

}  // namespace platform
