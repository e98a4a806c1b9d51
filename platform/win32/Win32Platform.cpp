// The Win32 twin of the platform services: what the shipped program uses for
// the directory search, the job and output files, the clock and the worker
// thread.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Win32FolderWatch.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/SpoolerOutput.h"

namespace platform {
namespace {

unsigned char CharUpperAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

uint64_t Combine(DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; }

uint64_t Ticks(const LARGE_INTEGER& time) { return static_cast<uint64_t>(time.QuadPart); }

// The name as the engine's byte strings spell it. The system's byte-string
// functions convert with "best fit", so "¥" becomes "\\" in code page 932 and
// a name the code page lacks gets "?": such a spelling is marked inexact, for
// a path built from it would lead somewhere else.
std::string Narrow(const wchar_t* name, size_t length, bool* exact) {
    *exact = true;
    if (length == 0) return std::string();
    const int wideLength = static_cast<int>(length);
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, wideLength, nullptr, 0,
                                         nullptr, &usedDefault);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size <= 0 ||
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, wideLength, &narrow[0], size,
                            nullptr, &usedDefault) != size) {
        *exact = false;
        return std::string();
    }
    *exact = !usedDefault && ToWide(narrow, CP_ACP) == std::wstring(name, length);
    return narrow;
}

DirEntry ToDirEntry(const WIN32_FIND_DATAW& data) {
    DirEntry entry;
    entry.name = Narrow(data.cFileName, wcslen(data.cFileName), &entry.exactName);
    // Always: a name the search passes over is shown and recorded by it.
    entry.displayName = FromWide(data.cFileName, wcslen(data.cFileName), CP_UTF8);
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    entry.lastWrite = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return entry;
}

DirEntry ToDirEntry(const FILE_ID_BOTH_DIR_INFO& info) {
    DirEntry entry;
    entry.name = Narrow(info.FileName, info.FileNameLength / sizeof(wchar_t), &entry.exactName);
    entry.isDirectory = (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = Ticks(info.EndOfFile);
    entry.lastWrite = Ticks(info.LastWriteTime);
    entry.changeTime = Ticks(info.ChangeTime);
    return entry;
}

bool IdentifyHandle(HANDLE handle, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    identity->size = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    identity->lastWrite =
        Combine(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    identity->changeTime =
        GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ? Ticks(basic.ChangeTime) : 0;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = Combine(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

// The size and times of an open file whose place (volume and index) is
// already known: a file stays where it is while it is open, and asking for
// the volume costs Wine a round trip to its device process.
bool IdentifyKnownPlace(HANDLE handle, FileIdentity* identity) {
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        return false;
    }
    identity->size = Ticks(standard.EndOfFile);
    identity->lastWrite = Ticks(basic.LastWriteTime);
    identity->changeTime = Ticks(basic.ChangeTime);
    return true;
}

// Opens for looking only: every sharing, so that it works while another
// process holds the file without sharing, and no access to the content.
KernelHandle OpenForAttributes(const std::string& path) {
    return KernelHandle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

// The folder part of a path in the ANSI code page, "." where there is none.
std::string FolderPart(const std::string& path) {
    size_t end = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\\' || c == '/') end = i + 1;
        if (IsDBCSLeadByte(static_cast<unsigned char>(c))) ++i;
    }
    return end == 0 ? std::string(".") : path.substr(0, end);
}

// The absolute form of a path; empty for a device (\\.\LPT1) or a path
// that cannot be resolved. Asks nothing of the file system.
std::string FullPath(const std::string& path) {
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
    return full;
}

// The path the system reaches through the handle, every link resolved; empty
// where the file system cannot tell.
std::wstring FinalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size()) {
        path.assign(length + 1, L'\0');
        length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    }
    if (length == 0 || length >= path.size()) return std::wstring();
    path.resize(length);
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return path;
}

// What an open handle leads to, for the file at `path`: a job must be a plain
// disk file whose final path lies in the very folder the path names, or a
// link would have the job's delete remove a file elsewhere and a pipe or
// device would block or flood the output.
FileKind KindOf(HANDLE handle, const std::string& path) {
    FILE_BASIC_INFO basic;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return FileKind::NotAFile;
    }
    const std::wstring filePath = FinalPath(handle);
    const size_t slash = filePath.rfind(L'\\');
    const auto inside = [&](const std::wstring& folderPath) {
        return slash != std::wstring::npos &&
               CompareStringOrdinal(filePath.c_str(), static_cast<int>(slash), folderPath.c_str(),
                                    static_cast<int>(folderPath.size()), TRUE) == CSTR_EQUAL;
    };
    // A path that is its own final path passes through no link: the folder
    // as spelt is where the file lies, and need not be opened to tell.
    std::wstring spelt = ToWide(FolderPart(FullPath(path)), CP_ACP);
    while (!spelt.empty() && spelt.back() == L'\\') spelt.pop_back();
    if (inside(L"\\\\?\\" + spelt)) return FileKind::DiskFile;
    const KernelHandle folder(CreateFileA(FolderPart(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::wstring folderPath = folder ? FinalPath(folder.Get()) : std::wstring();
    if (folderPath.empty() && filePath.empty()) return FileKind::DiskFile;  // a file system that cannot tell
    if (folderPath.empty() || slash == std::wstring::npos) return FileKind::Unknown;
    return inside(folderPath) ? FileKind::DiskFile : FileKind::Outside;
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
        if (m_placeKnown) {
            *identity = m_place;
            return IdentifyKnownPlace(m_handle.Get(), identity);
        }
        if (!IdentifyHandle(m_handle.Get(), identity)) return false;
        m_place = *identity;
        m_placeKnown = true;
        return true;
    }

protected:
    KernelHandle m_handle;

private:
    FileIdentity m_place;
    bool m_placeKnown = false;
};

// A job opened with delete access deletes itself through its handle: the file
// that was read goes, whatever took its name. A read-only job loses the
// attribute first, as with `del /f`.
class Win32JobFile : public Win32File {
public:
    explicit Win32JobFile(KernelHandle handle) : Win32File(std::move(handle)) {}
    Win32JobFile(const Win32JobFile&) = delete;
    Win32JobFile& operator=(const Win32JobFile&) = delete;

    // Windows says on the handle whether the delete is pending; Wine accepts
    // the request without ever saying so. Where it is not known to happen, a
    // read-only job gets its attribute back at once, through this handle:
    // should it stay (a volume that keeps it), it stays as it was, and what
    // is looked at after the close is the version the handle saw last, never
    // a new job that took the name.
    Deletion DeleteWhenClosed() override {
        if (!RequestDelete()) return Deletion::Refused;
        FILE_STANDARD_INFO standard;
        if (GetFileInformationByHandleEx(m_handle.Get(), FileStandardInfo, &standard, sizeof standard) &&
            standard.DeletePending) {
            return Deletion::Pending;
        }
        if (m_attributesCleared) {
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = m_attributes;
            SetFileInformationByHandle(m_handle.Get(), FileBasicInfo, &basic, sizeof basic);
        }
        return Deletion::Accepted;
    }

    void KeepAfterAll() override {
        FILE_DISPOSITION_INFO disposition{FALSE};
        SetFileInformationByHandle(m_handle.Get(), FileDispositionInfo, &disposition, sizeof disposition);
        if (m_attributesCleared) {
            FILE_BASIC_INFO basic{};
            basic.FileAttributes = m_attributes;
            SetFileInformationByHandle(m_handle.Get(), FileBasicInfo, &basic, sizeof basic);
        }
    }

private:
    bool RequestDelete() {
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (SetFileInformationByHandle(m_handle.Get(), FileDispositionInfo, &disposition, sizeof disposition)) {
            return true;
        }
        FILE_BASIC_INFO basic;
        if (m_attributesCleared ||
            !GetFileInformationByHandleEx(m_handle.Get(), FileBasicInfo, &basic, sizeof basic) ||
            (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
            return false;
        }
        m_attributes = basic.FileAttributes;
        const DWORD others = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
        basic.FileAttributes = others ? others : FILE_ATTRIBUTE_NORMAL;
        // Zero times leave the times as they are.
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        if (!SetFileInformationByHandle(m_handle.Get(), FileBasicInfo, &basic, sizeof basic)) return false;
        m_attributesCleared = true;
        return SetFileInformationByHandle(m_handle.Get(), FileDispositionInfo, &disposition,
                                          sizeof disposition) != FALSE;
    }

    DWORD m_attributes = 0;
    bool m_attributesCleared = false;
};

// The full path with short (8.3) names spelt out where the file exists.
std::string LongPath(const std::string& full) {
    std::string longForm(full.size() + MAX_PATH, '\0');
    const DWORD length = GetLongPathNameA(full.c_str(), &longForm[0], static_cast<DWORD>(longForm.size()));
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
    // The wide search reports each name as it is, which tells an exact byte
    // spelling from a best-fit one.
    bool FindFirst(const std::string& path, const std::function<bool(const DirEntry&)>& accept,
                   DirEntry* found) override {
        WIN32_FIND_DATAW data;
        FindHandle search(FindFirstFileW(ToWide(path, CP_ACP).c_str(), &data));
        if (!search) return false;
        do {
            DirEntry entry = ToDirEntry(data);
            if (accept(entry)) {
                if (found) *found = std::move(entry);
                return true;
            }
        } while (FindNextFileW(search.Get(), &data));
        return false;
    }

    // Read through the folder's handle, which also reports each entry's change
    // time; the end of the listing is told from a failure by the error.
    bool ListFolder(const std::string& folder, const std::function<void(const DirEntry&)>& each) override {
        const KernelHandle directory(CreateFileW(folder.empty() ? L"." : ToWide(folder, CP_ACP).c_str(), FILE_LIST_DIRECTORY,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!directory) return false;
        std::vector<LONGLONG> buffer(8 * 1024);  // 64 KiB, aligned as the records need
        const auto bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        const DWORD size = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        while (GetFileInformationByHandleEx(directory.Get(), kind, buffer.data(), size)) {
            kind = FileIdBothDirectoryInfo;
            for (size_t offset = 0;;) {
                const auto& info = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
                each(ToDirEntry(info));
                if (info.NextEntryOffset == 0) break;
                offset += info.NextEntryOffset;
            }
        }
        // A drive's empty root has not even "." and "..": its first query
        // finds nothing, which is an empty listing, not a failed one.
        const DWORD error = GetLastError();
        return error == ERROR_NO_MORE_FILES || (kind == FileIdBothDirectoryRestartInfo && error == ERROR_FILE_NOT_FOUND);
    }

    // Only "no such file" is a search that found nothing. A name without
    // wildcards is looked up, not searched for: listing costs Wine a folder
    // open. Only "not found" is taken from the lookup; any other failure (a
    // file being deleted, no access) is left to the search.
    Match FindAny(const std::string& path) override {
        if (path.find_first_of("*?") == std::string::npos) {
            if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Match::Found;
            if (GetLastError() == ERROR_FILE_NOT_FOUND) return Match::None;
        }
        WIN32_FIND_DATAW data;
        FindHandle search(FindFirstFileW(ToWide(path, CP_ACP).c_str(), &data));
        if (search) return Match::Found;
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Match::None : Match::Unknown;
    }

    // The right to list, checked by opening the folder for it.
    bool CanList(const std::string& folder) override {
        const KernelHandle directory(CreateFileW(folder.empty() ? L"." : ToWide(folder, CP_ACP).c_str(), FILE_LIST_DIRECTORY,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return static_cast<bool>(directory);
    }

    FileKind Inspect(const std::string& path) override {
        const KernelHandle file = OpenForAttributes(path);
        if (!file) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::Missing : FileKind::Unknown;
        }
        return KindOf(file.Get(), path);
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
        std::wstring printer;
        const PrinterLookup lookup = FindInstalledPrinter(path, &printer);
        if (lookup == PrinterLookup::Found) return OpenSpooledOutput(printer, documentName, failure);
        // While the spooler cannot say whether a name is a printer's, a file
        // of that name must not take the job in its place.
        if (lookup == PrinterLookup::SpoolerUnavailable && MayNamePrinter(path)) {
            if (failure) *failure = OpenFailure::SpoolerUnavailable;
            return nullptr;
        }
        const DWORD creation = HasFolderPart(path) ? OPEN_ALWAYS : OPEN_EXISTING;
        auto file = WrapOpened(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           creation, 0, nullptr));
        if (!file && failure) *failure = FailureOf(GetLastError());
        return file;
    }

    // As OpenOutput opens it, but never creating: a missing file with a folder
    // part is fine when its folder is there.
    OpenFailure TryOutput(const std::string& path) override {
        std::wstring printer;
        const PrinterLookup lookup = FindInstalledPrinter(path, &printer);
        if (lookup == PrinterLookup::Found) return TrySpooledOutput(printer);
        if (lookup == PrinterLookup::SpoolerUnavailable && MayNamePrinter(path)) return OpenFailure::SpoolerUnavailable;
        const KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) return OpenFailure::None;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND && HasFolderPart(path)) {
            const DWORD attributes = GetFileAttributesA(FolderPart(path).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return OpenFailure::None;
        }
        return FailureOf(error);
    }

    std::unique_ptr<File> OpenSource(const std::string& path) override {
        return WrapOpened(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    }

    // Without sharing for deletion nobody can rename another file over the job
    // while it is open.
    std::unique_ptr<File> OpenJob(const std::string& path) override {
        KernelHandle job(CreateFileA(path.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
        if (job) {
            if (KindOf(job.Get(), path) != FileKind::DiskFile) return nullptr;
            return std::make_unique<Win32JobFile>(std::move(job));
        }
        // Without the right to delete (write-protected media, an account that
        // may only read), the job is still read, sent once and then remembered.
        KernelHandle readOnly(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!readOnly || KindOf(readOnly.Get(), path) != FileKind::DiskFile) return nullptr;
        return std::make_unique<Win32File>(std::move(readOnly));
    }

    bool Identify(const std::string& path, FileIdentity* identity) override {
        const KernelHandle file = OpenForAttributes(path);
        return file && IdentifyHandle(file.Get(), identity);
    }

    bool IsMissing(const std::string& path) override {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    // A second drive letter, a share's UNC path, subst or a link all spell one
    // file differently, so files that exist are compared as files. Devices are
    // told by their resolved form and never opened.
    bool SameFile(const std::string& a, const std::string& b) override {
        // A device is told by its spelling alone, before any folder is read
        // to spell out short names (which Wine does by listing it).
        const std::string fullA = FullPath(a), fullB = FullPath(b);
        if (fullA.empty() || fullB.empty()) return false;
        const std::string resolvedA = LongPath(fullA);
        const std::string resolvedB = LongPath(fullB);
        const KernelHandle fileA = OpenForAttributes(resolvedA);
        const KernelHandle fileB = fileA ? OpenForAttributes(resolvedB) : KernelHandle();
        FileIdentity first, second;
        if (fileB && GetFileType(fileA.Get()) == FILE_TYPE_DISK && GetFileType(fileB.Get()) == FILE_TYPE_DISK &&
            IdentifyHandle(fileA.Get(), &first) && IdentifyHandle(fileB.Get(), &second) && first.index != 0 &&
            second.index != 0) {
            return first.SameVersionAs(second);
        }
        return EqualIgnoringCase(resolvedA, resolvedB);
    }

    std::unique_ptr<FolderWatch> WatchFolder(const std::string& folder, std::function<void()> onChange) override {
        return WatchFolderWin32(ToWide(folder, CP_ACP), std::move(onChange));
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

    int64_t MonotonicMs() override { return static_cast<int64_t>(GetTickCount64()); }

    void SleepMs(uint32_t ms) override { Sleep(ms); }
};

// The thread that ran the last job waits for the next one: starting a thread
// costs Wine about a millisecond, as much as relaying a small job.
struct Worker {
    KernelHandle thread;
    KernelHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    KernelHandle idle{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // set while it waits
    std::atomic<bool> retired{false};
    unsigned (*proc)(void*) = nullptr;
    void* arg = nullptr;
};

// The thread keeps its worker alive itself: the starter may retire it while
// it still runs a job.
DWORD WINAPI WorkerLoop(LPVOID param) {
    const std::unique_ptr<std::shared_ptr<Worker>> hold(static_cast<std::shared_ptr<Worker>*>(param));
    Worker& worker = **hold;
    for (;;) {
        WaitForSingleObject(worker.wake.Get(), INFINITE);
        if (worker.retired.load(std::memory_order_acquire)) return 0;
        worker.proc(worker.arg);
        SetEvent(worker.idle.Get());
    }
}

// Used from the interface thread only. The worker's thread handle is kept
// so that a cancel can break off its blocked I/O.
class Win32ThreadStarter : public ThreadStarter {
public:
    bool Start(unsigned (*proc)(void*), void* arg, int priority) override {
        // The last job's thread says it has ended just before it returns: it
        // is given a moment to get back to waiting. One still busy after that
        // (a worker no cancel could end) is retired, and the job gets a new one.
        if (m_worker && WaitForSingleObject(m_worker->idle.Get(), kReturnMs) == WAIT_OBJECT_0) {
            ResetEvent(m_worker->idle.Get());
            Run(*m_worker, proc, arg, priority);
            return true;
        }
        Retire();
        auto worker = std::make_shared<Worker>();
        if (!worker->wake || !worker->idle) return false;
        auto* hold = new std::shared_ptr<Worker>(worker);
        worker->thread = KernelHandle(CreateThread(nullptr, 0, WorkerLoop, hold, CREATE_SUSPENDED, nullptr));
        if (!worker->thread) {
            delete hold;
            return false;
        }
        Run(*worker, proc, arg, priority);
        ResumeThread(worker->thread.Get());
        m_worker = std::move(worker);
        return true;
    }

    // Only at a thread that is running a job: one that waits has no I/O to
    // break off, and Wine's server has been seen to fall over when asked at a
    // thread that has ended.
    void InterruptBlockedIo() override {
        if (m_worker && WaitForSingleObject(m_worker->idle.Get(), 0) == WAIT_TIMEOUT) {
            CancelSynchronousIo(m_worker->thread.Get());
        }
    }

private:
    static constexpr DWORD kReturnMs = 50;

    static void Run(Worker& worker, unsigned (*proc)(void*), void* arg, int priority) {
        worker.proc = proc;
        worker.arg = arg;
        SetThreadPriority(worker.thread.Get(), priority);
        SetEvent(worker.wake.Get());
    }

    // It ends once its job returns, instead of waiting for another.
    void Retire() {
        if (!m_worker) return;
        m_worker->retired.store(true, std::memory_order_release);
        SetEvent(m_worker->wake.Get());
        m_worker.reset();
    }

    std::shared_ptr<Worker> m_worker;
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
