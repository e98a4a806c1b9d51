// The few services the relay engine needs from the operating system. The
// product links the Win32 twin, native builds and tests the POSIX one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/WakeUp.h"

namespace platform {

// Tells whether a byte starts a double-byte character in the code page the
// engine's strings are in (Shift-JIS on the target systems).
using LeadByteTest = bool (*)(unsigned char);
bool IsLeadByteSystem(unsigned char c);  // the process's ANSI code page
bool IsLeadByteSjis(unsigned char c);    // code page 932, whatever the system uses
bool IsLeadByteNone(unsigned char c);    // single-byte code pages

// What tells one version of a file from another: size and times as the
// system reports them, and the file's place on its volume where the platform
// has one.
struct FileIdentity {
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    uint64_t changeTime = 0;  // 0 where the platform cannot tell
    uint64_t volume = 0;
    uint64_t index = 0;  // 0 where the volume has none
    // The one rule for "the same version of the same file", whatever asks:
    // equal size and last-write time, equal change times where both are
    // known, and the same place on the same volume where both are known. A
    // place alone proves nothing: FAT hands a freed directory slot's index to
    // the next file of that name, ext4 behind a share reuses a freed inode at
    // once, so a new job can sit where the last one was. Times and size alone
    // decide where a place is not known.
    bool SameVersionAs(const FileIdentity& other) const {
        return size == other.size && lastWrite == other.lastWrite &&
               (changeTime == 0 || other.changeTime == 0 || changeTime == other.changeTime) &&
               (index == 0 || other.index == 0 || (volume == other.volume && index == other.index));
    }
};

// One entry reported by a directory search.
struct DirEntry {
    std::string name;  // the bare name, as the directory search reports it
    bool isDirectory = false;
    uint64_t size = 0;
    uint64_t lastWrite = 0;  // opaque, only compared for equality
    // Moves on every write or rename, even when the last-write time is set
    // back; 0 where the platform cannot tell (only a folder listing does).
    uint64_t changeTime = 0;
    // False when `name` is not the system's own name for the entry but an
    // approximation in the code page (a character it lacks, or one that was
    // mapped to a look-alike such as "¥" to "\"): a path built from it may
    // name another file or none.
    bool exactName = true;
    // The system's own name in UTF-8, for showing an approximate one; may be
    // empty where `name` is exact.
    std::string displayName;

    FileIdentity Identity() const {
        FileIdentity identity;
        identity.size = size;
        identity.lastWrite = lastWrite;
        identity.changeTime = changeTime;
        return identity;
    }
};

// Whether a search found anything: Unknown when it failed otherwise than by
// finding nothing (a network error, a folder that cannot be read).
enum class Match { Found, None, Unknown };

// Why an output could not be opened, as far as the system tells.
// SpoolerUnavailable: the print spooler could not tell whether the output
// names a printer (stopped or restarting); the output is tried again later.
enum class OpenFailure { None, NotFound, Busy, AccessDenied, SpoolerUnavailable, Other };

// How an exclusive open of a job file went. Busy means another program holds
// it; Unopenable is any other failure (a name or path the system cannot open).
enum class Probe { Ready, Busy, Missing, Unopenable };

// What became of a request to delete a job through its handle. Pending: the
// handle reports the delete pending, so the file goes when its last handle
// closes, even while another program (a virus scanner) still holds it.
// Accepted: the system took the request but the handle cannot tell whether it
// will happen (Wine never reports it pending, and keeps a file the volume
// refuses to delete), so what is left at the path afterwards must be looked at.
enum class Deletion { Refused, Accepted, Pending };

// What a path leads to, told without opening the content (which can block
// for a pipe or a device). A job is only ever a plain disk file whose own
// path, with every link resolved, lies in the folder the path names.
enum class FileKind { Missing, DiskFile, Outside, NotAFile, Unknown };

// A document the print spooler accepted: the printer's name (UTF-8), the
// spooler's id of the job (0 for any other output) and the data type the
// document was started with.
struct SpoolTicket {
    std::string printer;
    uint32_t jobId = 0;
    std::string dataType;
};

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
    // Deletes this very file once it is closed, as `del /f` would (a read-only
    // file too), so that no file that took its name meanwhile can be hit.
    // Only a job opened with delete access can; Refused otherwise.
    virtual Deletion DeleteWhenClosed() { return Deletion::Refused; }
    // Withdraws the delete asked for, before the close: the file changed.
    virtual void KeepAfterAll() {}
    // Ends the output of one job. A spooled print job reaches the printer
    // only here; false when the output did not take the whole document.
    virtual bool Finish() { return true; }
    // True when nothing is printed until Finish succeeds, so that the job file
    // has to stay until then.
    virtual bool CommitsOnFinish() const { return false; }
    // Where a spooled document went; empty for any other output.
    virtual SpoolTicket Spooled() const { return {}; }
};

// Tells of changes in one folder while it lives: from a thread of its own,
// `onChange` is called after every burst of changes the system reports. The
// system may lose reports; a watch that breaks says so.
class FolderWatch {
public:
    virtual ~FolderWatch() = default;
    // False once the system has stopped reporting (a handle that failed): from
    // then on nothing is told, and only looking finds changes.
    virtual bool Healthy() const = 0;
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
    // Hands every entry of `folder` (empty for the current folder; with or
    // without a trailing separator) to `each`, with its change time. True only
    // when the folder was read to its end: a folder that is missing, cannot
    // be reached or fails part-way tells nothing about what is in it.
    virtual bool ListFolder(const std::string& folder,
                            const std::function<void(const DirEntry&)>& each) = 0;
    // Looks at what `path` leads to through an open for attributes only, which
    // never blocks and never keeps a producer out.
    virtual FileKind Inspect(const std::string& path) = 0;
    // Whether any entry matches `path` (its last component may hold "*" and
    // "?"). Here every failure counts as none; a platform that tells a
    // failed search from an empty one says Unknown for it.
    virtual Match FindAny(const std::string& path) {
        DirEntry any;
        return FindFirst(path, [](const DirEntry&) { return true; }, &any) ? Match::Found : Match::None;
    }
    // True when `folder` (with its separator, or empty for the current
    // folder) can be read now. Here by its first entry; a platform that can
    // tell without reading the folder (Wine reads all of it) says so cheaper.
    virtual bool CanList(const std::string& folder) {
        DirEntry any;
        return FindFirst(folder + "*", [](const DirEntry&) { return true; }, &any);
    }
    // Opens for reading with no sharing and closes again at once. Only for a
    // path that Inspect found to be a disk file: a pipe would block here.
    virtual Probe ProbeExclusive(const std::string& path) = 0;
    // Read/write, no sharing, created when missing, not truncated.
    // `documentName` names the print job where the output is a spooled
    // printer; `failure`, when given, receives why the open failed.
    virtual std::unique_ptr<File> OpenOutput(const std::string& path,
                                             const std::string& documentName,
                                             OpenFailure* failure) = 0;
    // Whether OpenOutput would open the output now, told by opening it as the
    // worker would and closing it again at once: nothing is written, no file
    // is made, no print job is started.
    virtual OpenFailure TryOutput(const std::string& path) = 0;
    // Read-only, shared for reading, must exist.
    virtual std::unique_ptr<File> OpenSource(const std::string& path) = 0;
    // A job file: like OpenSource, but with the access to delete it through
    // the handle where the account has it, and not shared for deleting, so
    // that nothing can take its name while it is open. Null unless what was
    // opened is a plain disk file inside the folder the path names.
    virtual std::unique_ptr<File> OpenJob(const std::string& path) = 0;
    // The identity of the file at `path` now; false when there is none.
    virtual bool Identify(const std::string& path, FileIdentity* identity) = 0;
    // True only when the system reports that the file or a folder on its path
    // does not exist; any other failure to look tells nothing.
    virtual bool IsMissing(const std::string& path) = 0;
    // True when both paths name the same file: compared as files (volume and
    // index) where both exist, by their resolved spelling where one does not
    // yet. A device or an empty path names no file.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
    // Watches `folder` (empty for the current folder); null where changes
    // cannot be told or trusted: a network folder, whose reports are lost
    // when the connection drops, a folder that is not there, a platform
    // without reports.
    virtual std::unique_ptr<FolderWatch> WatchFolder(const std::string& folder, std::function<void()> onChange) {
        (void)folder;
        (void)onChange;
        return nullptr;
    }
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowSeconds() = 0;  // wall clock, seconds since 1970 (UTC)
    // Milliseconds from an arbitrary start, never set back: for durations.
    virtual int64_t MonotonicMs() = 0;
    virtual void SleepMs(uint32_t ms) = 0;
    // Sleeps up to `ms`, less when `wakeUp` is signalled meanwhile.
    virtual void SleepMs(uint32_t ms, WakeUp& wakeUp) { wakeUp.Pause(ms); }
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
    // Runs `proc` on a thread of its own at the given priority while the
    // caller goes on; false when no thread could take it (then `proc` never
    // runs).
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
