// The Win32 twin of the platform services: what the shipped program uses for
// the directory search, the job and output files, the clock and the worker
// thread.
#include <windows.h>

#include <utility>

#include "platform/Platform.h"
#include "platform/win32/SpoolerOutput.h"

namespace platform {
namespace {

// Owns a kernel object handle; both INVALID_HANDLE_VALUE and null mean none,
// since CreateFileA and CreateThread disagree on how they fail.
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) : m_handle(handle) {}
    KernelHandle(KernelHandle&& other) noexcept : m_handle(other.Release()) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() { Reset(nullptr); }

    explicit operator bool() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle) {
        if (*this) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

// Owns a directory search; closed with FindClose, not CloseHandle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (*this) FindClose(m_handle);
    }
    explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

unsigned char CharUpperAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

uint64_t Combine(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

DirEntry ToDirEntry(const WIN32_FIND_DATAA& data) {
    DirEntry entry;
    entry.name = data.cFileName;
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    entry.lastWrite = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return entry;
}

bool IdentifyHandle(HANDLE handle, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    identity->size = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    identity->lastWrite =
        Combine(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = Combine(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

class Win32File : public File {
public:
    explicit Win32File(KernelHandle handle) : m_handle(std::move(handle)) {}

    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
        DWORD count = 0;
        const bool ok = ReadFile(m_handle.Get(), buffer, size, &count, nullptr) != FALSE;
        *bytesRead = ok ? count : 0;
        return ok;
    }

    bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
        DWORD count = 0;
        const bool ok = WriteFile(m_handle.Get(), buffer, size, &count, nullptr) != FALSE;
        *bytesWritten = ok ? count : 0;
        return ok;
    }

    // A port or pipe has no end to set; only a file on disk keeps stale bytes
    // from a longer earlier job.
    void TruncateIfDiskFile() override {
        if (GetFileType(m_handle.Get()) == FILE_TYPE_DISK) SetEndOfFile(m_handle.Get());
    }

    bool Identify(FileIdentity* identity) override {
        return IdentifyHandle(m_handle.Get(), identity);
    }

private:
    KernelHandle m_handle;
};

// The absolute form of a path, with short (8.3) names spelt out where the file
// exists; empty for a device (\\.\LPT1) or a path that cannot be resolved.
std::string ResolvedPath(const std::string& path) {
    if (path.empty()) return std::string();
    std::string full(MAX_PATH, '\0');
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, &full[0], nullptr);
    if (length >= MAX_PATH) {
        full.assign(length, '\0');
        length = GetFullPathNameA(path.c_str(), length, &full[0], nullptr);
    }
    if (length == 0 || length >= full.size()) return std::string();
    full.resize(length);
    if (full.compare(0, 4, "\\\\.\\") == 0) return std::string();
    std::string longForm(full.size() + MAX_PATH, '\0');
    length = GetLongPathNameA(full.c_str(), &longForm[0], static_cast<DWORD>(longForm.size()));
    if (length == 0 || length >= longForm.size()) return full;
    longForm.resize(length);
    return longForm;
}

// File names ignore the case of single-byte letters only: the second byte of a
// double-byte character is compared as it is, or ア (83 41) would equal ヂ (83 61).
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto c = static_cast<unsigned char>(a[i]);
        if (IsDBCSLeadByte(c) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (CharUpperAscii(c) != CharUpperAscii(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

OpenFailure FailureOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME: return OpenFailure::NotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY: return OpenFailure::Busy;
    case ERROR_ACCESS_DENIED: return OpenFailure::AccessDenied;
    default: return OpenFailure::Other;
    }
}

// The second byte of a Shift-JIS character may be the byte of "\" (表 is
// 95 5C), so a lead byte's partner is stepped over.
bool HasFolderPart(const std::string& path) {
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\\' || c == '/' || c == ':') return true;
        if (IsDBCSLeadByte(static_cast<unsigned char>(c))) ++i;
    }
    return false;
}

std::unique_ptr<File> WrapOpened(HANDLE handle) {
    KernelHandle owner(handle);
    if (!owner) return nullptr;
    return std::make_unique<Win32File>(std::move(owner));
}

class Win32FileSystem : public FileSystem {
public:
    bool FindFirst(const std::string& path, const std::function<bool(const DirEntry&)>& accept,
                   DirEntry* found) override {
        WIN32_FIND_DATAA data;
        FindHandle search(FindFirstFileA(path.c_str(), &data));
        if (!search) return false;
        do {
            DirEntry entry = ToDirEntry(data);
            if (accept(entry)) {
                if (found) *found = std::move(entry);
                return true;
            }
        } while (FindNextFileA(search.Get(), &data));
        return false;
    }

    // Share mode 0 fails with a sharing violation while any other process has
    // the file open, which is how a producer still writing is recognised. Any
    // other failure (a name outside the code page, a path beyond MAX_PATH, no
    // access) would not end by waiting.
    Probe ProbeExclusive(const std::string& path) override {
        KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) return Probe::Ready;
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return Probe::Busy;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Probe::Missing;
        return Probe::Unopenable;
    }

    // An installed printer's name goes to the spooler. Any other name is opened
    // as a file or device; only a path with a folder part may create a file,
    // so that a mistyped port or printer name is no file in the start folder.
    std::unique_ptr<File> OpenOutput(const std::string& path, const std::string& documentName,
                                     OpenFailure* failure) override {
        const std::wstring printer = FindInstalledPrinter(path);
        if (!printer.empty()) return OpenSpooledOutput(printer, documentName, failure);
        const DWORD creation = HasFolderPart(path) ? OPEN_ALWAYS : OPEN_EXISTING;
        auto file = WrapOpened(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           creation, 0, nullptr));
        if (!file && failure) *failure = FailureOf(GetLastError());
        return file;
    }

    std::unique_ptr<File> OpenSource(const std::string& path) override {
        return WrapOpened(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    }

    bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }

    // Asking for attributes only, with every sharing, works even while another
    // process holds the file open without sharing.
    bool Identify(const std::string& path, FileIdentity* identity) override {
        KernelHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        return file && IdentifyHandle(file.Get(), identity);
    }

    bool ClearReadOnly(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            return false;
        }
        const DWORD others = attributes & ~FILE_ATTRIBUTE_READONLY;
        return SetFileAttributesA(path.c_str(), others ? others : FILE_ATTRIBUTE_NORMAL) != FALSE;
    }

    // When this fails the job merely stays writable; it is passed over all the same.
    void RestoreReadOnly(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
        }
    }

    bool IsMissing(const std::string& path) override {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    bool SameFile(const std::string& a, const std::string& b) override {
        const std::string resolved = ResolvedPath(a);
        return !resolved.empty() && EqualIgnoringCase(resolved, ResolvedPath(b));
    }
};

class Win32Clock : public Clock {
public:
    int64_t NowSeconds() override {
        // FILETIME counts 100 ns steps since 1601-01-01.
        constexpr uint64_t kTicksPerSecond = 10000000;
        constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const uint64_t ticks = Combine(now.dwHighDateTime, now.dwLowDateTime);
        return static_cast<int64_t>(ticks / kTicksPerSecond - kSecondsFrom1601To1970);
    }

    void SleepMs(uint32_t ms) override { Sleep(ms); }
};

// What the new thread needs, handed over on the heap because CreateThread's
// entry has another calling convention than the engine's thread function.
struct ThreadStart {
    unsigned (*proc)(void*);
    void* arg;
};

DWORD WINAPI ThreadEntry(LPVOID param) {
    const ThreadStart start = *static_cast<ThreadStart*>(param);
    delete static_cast<ThreadStart*>(param);
    return start.proc(start.arg);
}

// Used from the interface thread only. The last thread's handle is kept so
// that a cancel can break off its blocked I/O; holding it also keeps the
// thread id from being reused while it may still be named.
class Win32ThreadStarter : public ThreadStarter {
public:
    bool Start(unsigned (*proc)(void*), void* arg, int priority) override {
        auto* start = new ThreadStart{proc, arg};
        DWORD id = 0;
        KernelHandle thread(CreateThread(nullptr, 0, ThreadEntry, start, CREATE_SUSPENDED, &id));
        if (!thread) {
            delete start;
            return false;
        }
        SetThreadPriority(thread.Get(), priority);
        ResumeThread(thread.Get());
        m_lastThread = std::move(thread);
        return true;
    }

    // Only Windows Vista and later can break off another thread's I/O; on
    // older systems the worker ends once the device takes its write.
    void InterruptBlockedIo() override {
        using CancelIoFn = BOOL(WINAPI*)(HANDLE);
        static const auto cancel = reinterpret_cast<CancelIoFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));
        if (m_lastThread && cancel) cancel(m_lastThread.Get());
    }

private:
    KernelHandle m_lastThread;
};

}  // namespace

bool IsLeadByteSystem(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

FileSystem& SystemFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

ThreadStarter& SystemThreadStarter() {
    static Win32ThreadStarter starter;
    return starter;
}

}  // namespace platform
