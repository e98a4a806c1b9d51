// The Win32 twin of the record's files. Paths arrive as UTF-8 and go to the
// wide API, so a section or user folder name outside the ANSI code page
// still works.
#include <shlobj.h>
#include <windows.h>

#include "platform/RecordFiles.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/WideText.h"

namespace platform {
namespace {

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// Appends whatever else has the file open: Notepad, or a second copy of the
// program writing the same section's record.
HANDLE OpenForAppend(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class Win32RecordFiles : public RecordFiles {
public:
    // Every level is tried in turn; the drive, a share or a folder that is
    // already there simply refuses.
    bool CreateFolder(const std::string& path) override {
        const std::wstring wide = ToWide(path, CP_UTF8);
        for (size_t separator = wide.find_first_of(L"\\/"); separator != std::wstring::npos;
             separator = wide.find_first_of(L"\\/", separator + 1)) {
            if (separator > 0) ::CreateDirectoryW(wide.substr(0, separator).c_str(), nullptr);
        }
        ::CreateDirectoryW(wide.c_str(), nullptr);
        return IsFolder(wide);
    }

    // The folder is made only when the first open fails, so a day's later
    // lines cost one open each.
    bool Append(const std::string& path, const std::string& startIfEmpty,
                const std::string& bytes) override {
        const std::wstring wide = ToWide(path, CP_UTF8);
        KernelHandle file(OpenForAppend(wide));
        if (!file) {
            const size_t separator = path.find_last_of("\\/");
            if (separator == std::string::npos || !CreateFolder(path.substr(0, separator)))
                return false;
            KernelHandle retried(OpenForAppend(wide));
            return retried && AppendTo(retried.Get(), startIfEmpty, bytes);
        }
        return AppendTo(file.Get(), startIfEmpty, bytes);
    }

    // Written beside the file and moved over it, so a crash leaves one or
    // the other whole.
    bool Replace(const std::string& path, const std::string& bytes) override {
        const size_t separator = path.find_last_of("\\/");
        if (separator != std::string::npos && !CreateFolder(path.substr(0, separator)))
            return false;
        const std::wstring wide = ToWide(path, CP_UTF8), temporary = wide + L".new";
        {
            KernelHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file || !WriteAll(file.Get(), bytes) || !::FlushFileBuffers(file.Get())) {
                file.Reset(nullptr);
                ::DeleteFileW(temporary.c_str());
                return false;
            }
        }
        return ::MoveFileExW(temporary.c_str(), wide.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }

    bool Read(const std::string& path, std::string* bytes) override {
        KernelHandle file(::CreateFileW(ToWide(path, CP_UTF8).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        bytes->clear();
        char buffer[4096];
        for (;;) {
            DWORD read = 0;
            if (!::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) return false;
            if (read == 0) return true;
            bytes->append(buffer, read);
        }
    }

    std::vector<std::string> ListFiles(const std::string& folder) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAW data;
        const FindHandle find(::FindFirstFileW((ToWide(folder, CP_UTF8) + L"\\*").c_str(), &data));
        if (!find) return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(FromWide(data.cFileName, wcslen(data.cFileName), CP_UTF8));
        } while (::FindNextFileW(find.Get(), &data));
        return names;
    }

    bool Delete(const std::string& path) override {
        return ::DeleteFileW(ToWide(path, CP_UTF8).c_str()) != FALSE;
    }

    // The zone's rules for that moment, daylight saving included, not
    // today's offset.
    LocalTime ToLocalTime(int64_t secondsSince1970) override {
        constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
        const uint64_t ticks =
            static_cast<uint64_t>(secondsSince1970 + kSecondsFrom1601To1970) * 10000000u;
        FILETIME fileTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        SYSTEMTIME utc{}, local{};
        if (!::FileTimeToSystemTime(&fileTime, &utc) ||
            !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
            return {};
        }
        return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    }

private:
    static bool AppendTo(HANDLE file, const std::string& startIfEmpty, const std::string& bytes) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file, &size)) return false;
        return WriteAll(file, size.QuadPart == 0 ? startIfEmpty + bytes : bytes);
    }
};

}  // namespace

RecordFiles& SystemRecordFiles() {
    static Win32RecordFiles files;
    return files;
}

std::string RecordsRoot() {
    wchar_t folder[MAX_PATH] = L"";
    if (FAILED(
            ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return FromWide(std::wstring(folder) + L"\\Brenholt\\Varnow\\Records", CP_UTF8);
}

}  // namespace platform
