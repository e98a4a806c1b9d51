// Drives a real Varnow.exe from another Windows process, the way a user and
// the shell would: through its window, its tray callback and its menus.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

std::wstring Widen(const std::string& utf8);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// A fresh, empty folder under the temp folder.
std::wstring MakeTempFolder(const std::wstring& tag);
// The folder holding Varnow.exe and the test helpers, as a Windows path.
std::wstring BinFolder();
// The file that Wine's LPT<port> writes to.
std::wstring LptCapture(int port);
std::string ToAcp(const std::wstring& text);
std::wstring FromAcp(const std::string& bytes);

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds poll = std::chrono::milliseconds(100));

// The registry section a test runs under; removed before and after.
class ProfileSection {
public:
    explicit ProfileSection(std::string name);
    ~ProfileSection();
    ProfileSection(const ProfileSection&) = delete;
    ProfileSection& operator=(const ProfileSection&) = delete;
    const std::string& Name() const { return m_name; }
    void SetString(const char* value, const std::string& text) const;
    void SetInt(const char* value, int number) const;
    // Type and raw bytes of a stored value, of the section or of one of its
    // subkeys; false when absent.
    bool Read(const char* value, DWORD* type, std::string* bytes, const char* subkey = nullptr) const;

private:
    std::string m_name;
};

// One running copy of the program.
class Varnow {
public:
    Varnow() = default;
    ~Varnow();
    Varnow(const Varnow&) = delete;
    Varnow& operator=(const Varnow&) = delete;

    // Starts Varnow.exe with `arguments` and waits for its main window.
    bool Start(const std::wstring& arguments, const std::wstring& caption);
    // Starts Varnow.exe with `arguments` and returns at once.
    bool Launch(const std::wstring& arguments);
    HWND Window() const { return m_window; }
    bool HasExited(DWORD waitMs = 0) const;
    std::wstring ItemText(int id) const;
    std::wstring RunCaption() const { return ItemText(IDOK); }
    bool WaitForRunCaption(const wchar_t* caption, std::chrono::milliseconds timeout) const;
    void PostCommand(WORD id) const;
    void TrayClick(UINT mouseMessage) const;
    // Opens the tray menu with a right click and returns the captions it shows
    // ("-" for a separator); the menu is left open.
    std::vector<std::wstring> OpenTrayMenu() const;
    // Chooses the item of the open popup menu with this caption.
    bool ChooseFromOpenMenu(const std::wstring& caption) const;
    void CloseOpenMenu() const;
    // Asks the program to exit the way the tray menu does, and waits.
    bool Exit(DWORD waitMs = 15000);

private:
    PROCESS_INFORMATION m_process{};
    HWND m_window = nullptr;
};

// The Linux path Wine keeps a Windows path at; empty when there is none.
std::string UnixPath(const std::wstring& path);
// Starts a Linux program (a full path) from this Windows process. Under Wine
// there is no handle to wait on: callers watch for its effect.
bool StartLinuxProgram(const std::string& program, const std::vector<std::string>& arguments);

// Sets and clears the immutable flag (chattr) of a file or a folder, which
// makes Wine report a delete as done while the file stays. Under Wine a
// Windows program can start a Linux one, though without a handle to wait on,
// so the flag is watched from here: an immutable file cannot be opened for
// writing, and nothing can be made in an immutable folder, not even by root.
// The flag is always cleared at the end, or the build tree could not be
// deleted.
class ImmutableFlag {
public:
    explicit ImmutableFlag(std::wstring path, bool isFolder = false)
        : m_path(std::move(path)), m_isFolder(isFolder) {}
    ~ImmutableFlag();
    ImmutableFlag(const ImmutableFlag&) = delete;
    ImmutableFlag& operator=(const ImmutableFlag&) = delete;
    bool Set(bool immutable) const;

private:
    bool Refuses() const;
    bool Chattr(const char* flag) const;

    std::wstring m_path;
    bool m_isFolder;
};

struct MenuItem {
    UINT id;
    bool isDefault;
    std::wstring caption;  // "-" for a separator
};

// The popup menu window that is open on the desktop, if any.
HWND FindOpenPopupMenu();
// The items of an open popup menu of another process, read from inside it.
std::vector<MenuItem> ReadOpenMenu(HWND popup);
std::vector<std::wstring> Captions(const std::vector<MenuItem>& items);
// A top-level window of the process with this caption, if any.
HWND FindProcessWindow(DWORD processId, const std::wstring& caption);

}  // namespace e2e
