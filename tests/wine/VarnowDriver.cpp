// The program itself runs on Windows XP; this test uses Vista's registry helpers.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "tests/wine/VarnowDriver.h"

#include <thread>

#include "tests/wine/PlatformTestSupport.h"

namespace e2e {
namespace {

const char kAppKey[] = "Software\\Brenholt\\Varnow";
constexpr UINT kTrayCallback = WM_USER;
constexpr WPARAM kTrayIconId = 129;

struct ProcessWindowSearch {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    if (*search->caption != text) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::wstring FromAcp(const std::string& bytes) {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

std::string ToAcp(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    return bytes;
}

std::string ReadFileBytes(const std::wstring& path) { return wine_test::ReadBytes(ToAcp(path)); }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    return wine_test::WriteBytes(ToAcp(path), bytes);
}

bool FileExists(const std::wstring& path) { return wine_test::Exists(ToAcp(path)); }

std::wstring MakeTempFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"varnow-" + tag + L"-" +
                          std::to_wstring(GetCurrentProcessId());
    std::wstring pattern = folder + L"\\*";
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring path = folder + L"\\" + entry.cFileName;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring BinFolder() { return FromAcp(wine_test::BinDir()); }

std::wstring LptCapture(int port) { return FromAcp(wine_test::LptCapture(port)); }

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds poll) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(poll);
    }
}

ProfileSection::ProfileSection(std::string name) : m_name(std::move(name)) {
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + m_name).c_str());
}

ProfileSection::~ProfileSection() {
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + m_name).c_str());
}

void ProfileSection::SetString(const char* value, const std::string& text) const {
    RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + m_name).c_str(), value,
                    REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void ProfileSection::SetInt(const char* value, int number) const {
    DWORD data = static_cast<DWORD>(number);
    RegSetKeyValueA(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + m_name).c_str(), value,
                    REG_DWORD, &data, sizeof data);
}

bool ProfileSection::Read(const char* value, DWORD* type, std::string* bytes, const char* subkey) const {
    std::string key = std::string(kAppKey) + "\\" + m_name;
    if (subkey) key += std::string("\\") + subkey;
    DWORD size = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, type,
                     nullptr, &size) != ERROR_SUCCESS)
        return false;
    bytes->assign(size, '\0');
    return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), value, RRF_RT_ANY | RRF_NOEXPAND, type,
                        bytes->data(), &size) == ERROR_SUCCESS;
}

Varnow::~Varnow() {
    if (m_process.hProcess) {
        if (!HasExited()) {
            Exit(8000);
            if (!HasExited()) TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 5000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
}

bool Varnow::Launch(const std::wstring& arguments) {
    std::wstring exe = BinFolder() + L"\\Varnow.exe";
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &m_process) != FALSE;
}

bool Varnow::Start(const std::wstring& arguments, const std::wstring& caption) {
    if (!Launch(arguments)) return false;
    WaitFor(
        [&] {
            m_window = FindProcessWindow(m_process.dwProcessId, caption);
            return m_window != nullptr;
        },
        std::chrono::seconds(30));
    return m_window != nullptr;
}

bool Varnow::HasExited(DWORD waitMs) const {
    return WaitForSingleObject(m_process.hProcess, waitMs) == WAIT_OBJECT_0;
}

std::wstring Varnow::ItemText(int id) const {
    wchar_t text[512] = L"";
    GetDlgItemTextW(m_window, id, text, 512);
    return text;
}

bool Varnow::WaitForRunCaption(const wchar_t* caption, std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return RunCaption() == caption; }, timeout);
}

void Varnow::PostCommand(WORD id) const { PostMessageW(m_window, WM_COMMAND, id, 0); }

void Varnow::TrayClick(UINT mouseMessage) const {
    PostMessageW(m_window, kTrayCallback, kTrayIconId, mouseMessage);
}

std::vector<std::wstring> Varnow::OpenTrayMenu() const {
    TrayClick(WM_RBUTTONUP);
    HWND popup = nullptr;
    WaitFor([&] { return (popup = FindOpenPopupMenu()) != nullptr; }, std::chrono::seconds(5));
    if (!popup) return {};
    return Captions(ReadOpenMenu(popup));
}

bool Varnow::ChooseFromOpenMenu(const std::wstring& caption) const {
    HWND popup = FindOpenPopupMenu();
    if (!popup) return false;
    const std::vector<MenuItem> items = ReadOpenMenu(popup);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].caption != caption) continue;
        // Walk down from the top the way a keyboard user would, skipping the separator.
        int steps = 0;
        for (size_t j = 0; j <= i; ++j)
            if (items[j].caption != L"-") ++steps;
        for (int s = 0; s < steps; ++s) {
            PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(popup, WM_KEYUP, VK_DOWN, 0);
        }
        PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(popup, WM_KEYUP, VK_RETURN, 0);
        return WaitFor([] { return FindOpenPopupMenu() == nullptr; }, std::chrono::seconds(5));
    }
    return false;
}

void Varnow::CloseOpenMenu() const {
    HWND popup = FindOpenPopupMenu();
    if (!popup) return;
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitFor([] { return FindOpenPopupMenu() == nullptr; }, std::chrono::seconds(5));
}

bool Varnow::Exit(DWORD waitMs) {
    if (!m_window) return HasExited(waitMs);
    // While a job is out, Exit only cancels it: let the window settle first.
    WaitFor([&] { return RunCaption() != L"出力中止"; }, std::chrono::seconds(6));
    PostCommand(32773);  // the tray menu's Exit
    return HasExited(waitMs);
}

HWND FindOpenPopupMenu() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

// Wine keeps a menu private to its process, so a hook loads menuspy.dll into
// the menu's thread and has it write the items out (tests/wine/menuspy).
std::vector<MenuItem> ReadOpenMenu(HWND popup) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring report = std::wstring(temp) + L"varnow-menuspy.txt";
    DeleteFileW(report.c_str());
    HMODULE spy = LoadLibraryW((BinFolder() + L"\\menuspy.dll").c_str());
    auto hookProc = spy ? reinterpret_cast<HOOKPROC>(
                              reinterpret_cast<void*>(GetProcAddress(spy, "MenuSpyHook")))
                        : nullptr;
    const DWORD thread = GetWindowThreadProcessId(popup, nullptr);
    HHOOK hook = hookProc ? SetWindowsHookExW(WH_CALLWNDPROC, hookProc, spy, thread) : nullptr;
    if (hook) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(popup, RegisterWindowMessageW(L"VarnowTestReadMenu"), 0, 0,
                            SMTO_NORMAL, 5000, &ignored);
        UnhookWindowsHookEx(hook);
    }
    if (spy) FreeLibrary(spy);

    const std::string bytes = ReadFileBytes(report);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<MenuItem> items;
    size_t start = 0;
    for (size_t end = text.find(L'\n'); end != std::wstring::npos; end = text.find(L'\n', start)) {
        const std::wstring line = text.substr(start, end - start);
        start = end + 1;
        const size_t tab1 = line.find(L'\t'), tab2 = line.find(L'\t', tab1 + 1);
        if (tab1 == std::wstring::npos || tab2 == std::wstring::npos) continue;
        items.push_back({static_cast<UINT>(std::stoul(line.substr(0, tab1))),
                         line.substr(tab1 + 1, tab2 - tab1 - 1) == L"default",
                         line.substr(tab2 + 1)});
    }
    return items;
}

std::vector<std::wstring> Captions(const std::vector<MenuItem>& items) {
    std::vector<std::wstring> captions;
    for (const auto& item : items) captions.push_back(item.caption);
    return captions;
}

HWND FindProcessWindow(DWORD processId, const std::wstring& caption) {
    ProcessWindowSearch search{processId, &caption, nullptr};
    EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

ImmutableFlag::~ImmutableFlag() {
    if (FileExists(m_path)) Set(false);
}

bool ImmutableFlag::Set(bool immutable) const {
    return Chattr(immutable ? "+i" : "-i") &&
           WaitFor([&] { return Refuses() == immutable; }, std::chrono::seconds(10));
}

bool ImmutableFlag::Refuses() const {
    if (m_isFolder) {
        // A new name each time: a probe left behind once the flag is set
        // could still be written to.
        static int probes = 0;
        const std::wstring probe = m_path + L"\\immutable-probe-" + std::to_wstring(++probes);
        if (!WriteFileBytes(probe, "")) return true;
        DeleteFileW(probe.c_str());
        return false;
    }
    HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(file);
    return false;
}

bool ImmutableFlag::Chattr(const char* flag) const {
    const std::string path = UnixPath(m_path);
    return !path.empty() && StartLinuxProgram("/usr/bin/chattr", {flag, path});
}

std::string UnixPath(const std::wstring& path) {
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unixPath) return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

bool StartLinuxProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line = program;
    for (const std::string& argument : arguments) line += " \"" + argument + "\"";
    std::string windowsProgram = "Z:" + program;
    for (char& c : windowsProgram) {
        if (c == '/') c = '\\';
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(windowsProgram.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    return true;
}

}  // namespace e2e
