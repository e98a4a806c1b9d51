// The POSIX twin of the platform services, for native builds and tests.
// flock() stands in for Windows' share mode 0: a producer that holds an
// exclusive lock on a job file keeps it "busy", as an open handle does there.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <chrono>
#include <ctime>
#include <system_error>
#include <thread>

#include "platform/Platform.h"
#include "platform/posix/Wildcard.h"

namespace platform {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

FileDescriptor OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return FileDescriptor(fd);
}

bool LockExclusive(const FileDescriptor& fd) {
    int rc;
    do {
        rc = flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

uint64_t LastWriteOf(const struct stat& st) {
    return static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
           static_cast<uint64_t>(st.st_mtim.tv_nsec);
}

uint64_t ChangeTimeOf(const struct stat& st) {
    return static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
           static_cast<uint64_t>(st.st_ctim.tv_nsec);
}

DirEntry EntryOf(const std::string& name, const struct stat& st) {
    DirEntry entry;
    entry.name = name;
    entry.isDirectory = S_ISDIR(st.st_mode);
    entry.size = static_cast<uint64_t>(st.st_size);
    entry.lastWrite = LastWriteOf(st);
    entry.changeTime = ChangeTimeOf(st);
    return entry;
}

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity identity;
    identity.size = static_cast<uint64_t>(st.st_size);
    identity.lastWrite = LastWriteOf(st);
    identity.changeTime = ChangeTimeOf(st);
    identity.volume = static_cast<uint64_t>(st.st_dev);
    identity.index = static_cast<uint64_t>(st.st_ino);
    return identity;
}

OpenFailure FailureOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return OpenFailure::NotFound;
    case EACCES:
    case EPERM: return OpenFailure::AccessDenied;
    case EBUSY: return OpenFailure::Busy;
    default: return OpenFailure::Other;
    }
}

// Windows programs see a file without any write permission as read-only.
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

class PosixFile : public File {
public:
    explicit PosixFile(FileDescriptor fd) : m_fd(std::move(fd)) {}

    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
        ssize_t n;
        do {
            n = read(m_fd.get(), buffer, size);
        } while (n < 0 && errno == EINTR);
        *bytesRead = n > 0 ? static_cast<uint32_t>(n) : 0;
        return n >= 0;
    }

    bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
        ssize_t n;
        do {
            n = write(m_fd.get(), buffer, size);
        } while (n < 0 && errno == EINTR);
        *bytesWritten = n > 0 ? static_cast<uint32_t>(n) : 0;
        return n >= 0;
    }

    void TruncateIfDiskFile() override {
        struct stat st;
        if (fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return;
        }
        const off_t end = lseek(m_fd.get(), 0, SEEK_CUR);
        if (end >= 0) {
            // Nothing to do when it fails: the output keeps stale bytes at its end.
            [[maybe_unused]] const int rc = ftruncate(m_fd.get(), end);
        }
    }

    bool Identify(FileIdentity* identity) override {
        struct stat st;
        if (fstat(m_fd.get(), &st) != 0) {
            return false;
        }
        *identity = IdentityOf(st);
        return true;
    }

protected:
    FileDescriptor m_fd;
};

// A job file that can delete itself. POSIX has no delete-on-close: the name
// is unlinked at close, and only while it still names this very file, which
// stands in for Windows deleting the file behind the handle. A file without
// write permission is refused, as Windows refuses a read-only file, unless
// the permission is added first as `del /f` clears the attribute.
class PosixJobFile : public PosixFile {
public:
    PosixJobFile(FileDescriptor fd, std::string path) : PosixFile(std::move(fd)), m_path(std::move(path)) {}
    PosixJobFile(const PosixJobFile&) = delete;
    PosixJobFile& operator=(const PosixJobFile&) = delete;
    ~PosixJobFile() override {
        struct stat own, named;
        if (!m_delete || fstat(m_fd.get(), &own) != 0 || stat(m_path.c_str(), &named) != 0 ||
            !IdentityOf(named).SameVersionAs(IdentityOf(own))) {
            return;
        }
        [[maybe_unused]] const int rc = unlink(m_path.c_str());
    }

    // POSIX cannot say that a delete will happen: the name goes at close.
    Deletion DeleteWhenClosed() override {
        struct stat st;
        if (fstat(m_fd.get(), &st) != 0) {
            return Deletion::Refused;
        }
        // Made writable for the delete and read-only again at once, as the
        // Win32 twin does where the delete is not known to happen.
        if ((st.st_mode & kWriteBits) == 0 && (fchmod(m_fd.get(), (st.st_mode & 07777) | S_IWUSR) != 0 ||
                                               fchmod(m_fd.get(), st.st_mode & 07777) != 0)) {
            return Deletion::Refused;
        }
        m_delete = true;
        return Deletion::Accepted;
    }

    void KeepAfterAll() override { m_delete = false; }

private:
    std::string m_path;
    bool m_delete = false;
};

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// True when the file at `native`, every link resolved, lies in the folder its
// path names.
bool LeadsIntoOwnFolder(const std::string& native) {
    const size_t slash = native.rfind('/');
    const std::string folder = RealPath(slash == std::string::npos ? "." : native.substr(0, slash + 1));
    const std::string file = RealPath(native);
    const size_t fileSlash = file.rfind('/');
    return !folder.empty() && fileSlash != std::string::npos &&
           file.compare(0, fileSlash, folder) == 0 && (fileSlash == folder.size() || folder == "/");
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

class PosixFileSystem : public FileSystem {
public:
    bool FindFirst(const std::string& path, const std::function<bool(const DirEntry&)>& accept,
                   DirEntry* found) override {
        const posix::SearchPath split = posix::SplitSearchPath(path);
        if (split.pattern.empty()) {
            return false;
        }
        std::unique_ptr<DIR, DirCloser> dir(opendir(split.folder.empty() ? "." : split.folder.c_str()));
        if (!dir) {
            return false;
        }
        while (const dirent* raw = readdir(dir.get())) {
            const std::string name = raw->d_name;
            if (!posix::MatchesWildcard(split.pattern, name)) {
                continue;
            }
            struct stat st;
            if (stat((split.folder + name).c_str(), &st) != 0) {
                continue;  // gone since the directory was read
            }
            DirEntry entry = EntryOf(name, st);
            if (accept(entry)) {
                *found = std::move(entry);
                return true;
            }
        }
        return false;
    }

    bool ListFolder(const std::string& folder, const std::function<void(const DirEntry&)>& each) override {
        std::string native = folder.empty() ? std::string(".") : posix::ToNativePath(folder);
        if (native.back() != '/') {
            native += '/';
        }
        std::unique_ptr<DIR, DirCloser> dir(opendir(native.c_str()));
        if (!dir) {
            return false;
        }
        for (;;) {
            errno = 0;
            const dirent* raw = readdir(dir.get());
            if (!raw) {
                return errno == 0;
            }
            struct stat st;
            if (stat((native + raw->d_name).c_str(), &st) == 0) {
                each(EntryOf(raw->d_name, st));
            } else if (errno != ENOENT) {
                return false;  // an entry that cannot be looked at may be a remembered job
            }
        }
    }

    // A folder that cannot be read tells nothing.
    Match FindAny(const std::string& path) override {
        DirEntry any;
        if (FindFirst(path, [](const DirEntry&) { return true; }, &any)) {
            return Match::Found;
        }
        const posix::SearchPath split = posix::SplitSearchPath(path);
        struct stat st;
        return stat(split.folder.empty() ? "." : split.folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? Match::None
                                                                                                      : Match::Unknown;
    }

    // Links are followed to the file they lead to, which must lie in the
    // folder the path names.
    FileKind Inspect(const std::string& path) override {
        const std::string native = posix::ToNativePath(path);
        struct stat st;
        if (stat(native.c_str(), &st) != 0) {
            return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Unknown;
        }
        if (!S_ISREG(st.st_mode)) {
            return FileKind::NotAFile;
        }
        return LeadsIntoOwnFolder(native) ? FileKind::DiskFile : FileKind::Outside;
    }

    // Only another holder of the lock is worth waiting for.
    Probe ProbeExclusive(const std::string& path) override {
        const FileDescriptor fd = OpenRetrying(posix::ToNativePath(path).c_str(), O_RDONLY);
        if (!fd.valid()) {
            return errno == ENOENT || errno == ENOTDIR ? Probe::Missing : Probe::Unopenable;
        }
        if (LockExclusive(fd)) {
            return Probe::Ready;
        }
        return errno == EWOULDBLOCK ? Probe::Busy : Probe::Unopenable;
    }

    std::unique_ptr<File> OpenOutput(const std::string& path, const std::string&,
                                     OpenFailure* failure) override {
        FileDescriptor fd = OpenRetrying(posix::ToNativePath(path).c_str(), O_RDWR | O_CREAT, 0666);
        const bool locked = fd.valid() && LockExclusive(fd);
        if (!locked) {
            if (failure) {
                *failure = !fd.valid() ? FailureOf(errno) : OpenFailure::Busy;
            }
            return nullptr;
        }
        return std::make_unique<PosixFile>(std::move(fd));
    }

    // A missing file whose folder is there would be made by the open.
    OpenFailure TryOutput(const std::string& path) override {
        const std::string native = posix::ToNativePath(path);
        FileDescriptor fd = OpenRetrying(native.c_str(), O_RDWR | O_NONBLOCK);
        if (fd.valid()) {
            return LockExclusive(fd) ? OpenFailure::None : OpenFailure::Busy;
        }
        if (errno != ENOENT) {
            return FailureOf(errno);
        }
        const size_t slash = native.rfind('/');
        struct stat st;
        return stat(slash == std::string::npos ? "." : native.substr(0, slash + 1).c_str(), &st) == 0 &&
                       S_ISDIR(st.st_mode)
                   ? OpenFailure::None
                   : OpenFailure::NotFound;
    }

    std::unique_ptr<File> OpenSource(const std::string& path) override {
        FileDescriptor fd = OpenRetrying(posix::ToNativePath(path).c_str(), O_RDONLY);
        if (!fd.valid()) {
            return nullptr;
        }
        return std::make_unique<PosixFile>(std::move(fd));
    }

    // Opened without blocking, so that a pipe that took the job's name is
    // refused rather than waited on.
    std::unique_ptr<File> OpenJob(const std::string& path) override {
        std::string native = posix::ToNativePath(path);
        FileDescriptor fd = OpenRetrying(native.c_str(), O_RDONLY | O_NONBLOCK);
        struct stat opened, named;
        if (!fd.valid() || fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            stat(native.c_str(), &named) != 0 || named.st_dev != opened.st_dev || named.st_ino != opened.st_ino ||
            !LeadsIntoOwnFolder(native)) {
            return nullptr;
        }
        const int flags = fcntl(fd.get(), F_GETFL);
        if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
            return nullptr;
        }
        return std::make_unique<PosixJobFile>(std::move(fd), std::move(native));
    }

    bool Identify(const std::string& path, FileIdentity* identity) override {
        struct stat st;
        if (stat(posix::ToNativePath(path).c_str(), &st) != 0) {
            return false;
        }
        *identity = IdentityOf(st);
        return true;
    }

    bool IsMissing(const std::string& path) override {
        struct stat st;
        return stat(posix::ToNativePath(path).c_str(), &st) != 0 &&
               (errno == ENOENT || errno == ENOTDIR);
    }

    // The file's identity rather than its spelling: links and relative paths
    // name the same file; devices are never taken for one.
    bool SameFile(const std::string& a, const std::string& b) override {
        struct stat first, second;
        return stat(posix::ToNativePath(a).c_str(), &first) == 0 && S_ISREG(first.st_mode) &&
               stat(posix::ToNativePath(b).c_str(), &second) == 0 && S_ISREG(second.st_mode) &&
               first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
};

class PosixClock : public Clock {
public:
    int64_t NowSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }
    int64_t MonotonicMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

// Priorities are not mapped: raising one needs privileges a desktop user
// lacks, and the relay works the same at the default.
class PosixThreadStarter : public ThreadStarter {
public:
    bool Start(unsigned (*proc)(void*), void* arg, int) override {
        try {
            std::thread(proc, arg).detach();
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    // A blocked write() to a file or pipe is not broken off here; the worker
    // sees the abort once the write returns.
    void InterruptBlockedIo() override {}
};

}  // namespace

FileSystem& SystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

Clock& SystemClock() {
    static PosixClock clock;
    return clock;
}

ThreadStarter& SystemThreadStarter() {
    static PosixThreadStarter threads;
    return threads;
}

}  // namespace platform
