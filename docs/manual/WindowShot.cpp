// Drives a running Varnow.exe for the manual's screenshots, the way a user
// would, and prints where each window stands so the shell script can crop the
// screen to it. Geometry is printed as ImageMagick's WxH+X+Y.
//
//   WindowShot settings <section> <name>=<value>...   Iconic and Priority as numbers
//   WindowShot forget <section>
//   WindowShot window <caption>                  the main window, once shown
//   WindowShot wait-text <caption> <id> <text>   until a field shows the text
//   WindowShot stop <caption>                    run button: searching -> stopped
//   WindowShot tray <caption>                    the tray menu, opened at the cursor
//   WindowShot about <caption>                   the About window from the system menu
//   WindowShot close <caption>                   closes the open menu and the About window
//   WindowShot exit <caption>                    the tray menu's Exit, until the process ends
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>

#include "framework/Handles.h"

namespace {

const wchar_t kDesktop[] = L"Varnow";
const wchar_t kAppKey[] = L"Software\\Brenholt\\Varnow\\";
constexpr UINT kTrayCallback = WM_USER;
constexpr WPARAM kTrayIconId = 129;
constexpr WORD kTrayExit = 32773;
constexpr WPARAM kAboutBox = 0x0010;
constexpr DWORD kPatienceMs = 30000;

bool WaitFor(const std::function<bool()>& condition) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += 100) {
        if (condition()) return true;
        Sleep(100);
    }
    return condition();
}

HWND VisibleWindow(const wchar_t* caption) {
    HWND window = FindWindowW(L"#32770", caption);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND OpenMenu() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

// Below the title bar: Wine under a Japanese locale draws its buttons in a
// text font instead of Marlett ("0 1 r"), which no Windows user would see.
int PrintGeometry(HWND window) {
    RECT rect;
    if (!window || !GetWindowRect(window, &rect)) return 1;
    POINT client{0, 0};
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION &&
        ClientToScreen(window, &client)) {
        rect.top = client.y;
    }
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                rect.top);
    return 0;
}

int WriteSettings(const std::wstring& section, int count, wchar_t** assignments) {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (kAppKey + section).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const std::wstring assignment = assignments[i];
        const size_t equals = assignment.find(L'=');
        if (equals == std::wstring::npos) {
            ++failures;
            continue;
        }
        const std::wstring name = assignment.substr(0, equals);
        const std::wstring value = assignment.substr(equals + 1);
        LONG result;
        if (name == L"Iconic" || name == L"Priority") {
            const DWORD number = std::wcstoul(value.c_str(), nullptr, 10);
            result = RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&number), sizeof number);
        } else {
            result = RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        }
        if (result != ERROR_SUCCESS) ++failures;
    }
    return failures == 0 ? 0 : 1;
}

int ForgetSettings(const std::wstring& section) {
    const LONG result = RegDeleteTreeW(HKEY_CURRENT_USER, (kAppKey + section).c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<OwnedSearch*>(param);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// The About window is owned by the main window and shown by the same thread.
HWND OwnedWindow(HWND owner) {
    OwnedSearch search{owner, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), MatchOwned,
                      reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ItemText(HWND window, int id) {
    wchar_t text[256] = L"";
    GetDlgItemTextW(window, id, text, 256);
    return text;
}

// The window is placed by the program's first display refresh, right after it
// appears; its rectangle counts once it has stopped moving.
int ShownWindow(const wchar_t* caption) {
    HWND window = nullptr;
    RECT last{};
    int steady = 0;
    const bool settled = WaitFor([&] {
        window = VisibleWindow(caption);
        RECT now{};
        if (!window || !GetWindowRect(window, &now) || IsIconic(window)) return false;
        steady = EqualRect(&now, &last) ? steady + 1 : 0;
        last = now;
        return steady >= 5;
    });
    return settled ? PrintGeometry(window) : 1;
}

int WaitForText(const wchar_t* caption, int id, const wchar_t* text) {
    return WaitFor([&] {
        HWND window = VisibleWindow(caption);
        return window && ItemText(window, id) == text;
    })
               ? 0
               : 1;
}

// The exit button is shown only while the program is stopped.
int Stop(const wchar_t* caption) {
    HWND window = VisibleWindow(caption);
    if (!window) return 1;
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return WaitFor([&] { return IsWindowVisible(GetDlgItem(window, IDCANCEL)) != FALSE; })
               ? PrintGeometry(window)
               : 1;
}

int OpenTrayMenu(const wchar_t* caption) {
    HWND window = VisibleWindow(caption);
    if (!window) return 1;
    PostMessageW(window, kTrayCallback, kTrayIconId, WM_RBUTTONUP);
    HWND popup = nullptr;
    return WaitFor([&] { return (popup = OpenMenu()) != nullptr; }) ? PrintGeometry(popup) : 1;
}

int OpenAbout(const wchar_t* caption) {
    HWND window = VisibleWindow(caption);
    if (!window) return 1;
    PostMessageW(window, WM_SYSCOMMAND, kAboutBox, 0);
    HWND about = nullptr;
    return WaitFor([&] { return (about = OwnedWindow(window)) != nullptr; }) ? PrintGeometry(about)
                                                                             : 1;
}

int CloseOpenWindows(const wchar_t* caption) {
    HWND window = FindWindowW(L"#32770", caption);
    if (!window) return 1;
    if (HWND popup = OpenMenu()) PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    if (HWND about = OwnedWindow(window)) PostMessageW(about, WM_COMMAND, IDOK, 0);
    return WaitFor([&] { return !OpenMenu() && !OwnedWindow(window); }) ? 0 : 1;
}

int Exit(const wchar_t* caption) {
    HWND window = FindWindowW(L"#32770", caption);
    if (!window) return 1;
    PostMessageW(window, WM_COMMAND, kTrayExit, 0);
    return WaitFor([&] { return !IsWindow(window); }) ? 0 : 1;
}

// The program runs on Wine's virtual desktop of that name, which appears with
// it; windows are found only on the desktop of the thread that looks. The
// desktop stays this thread's until the process ends.
bool EnterProgramDesktop() {
    HDESK desktop = nullptr;
    return WaitFor([&] {
               return (desktop = OpenDesktopW(kDesktop, 0, FALSE, GENERIC_ALL)) != nullptr;
           }) &&
           SetThreadDesktop(desktop);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring command = argv[1];
    const wchar_t* target = argv[2];
    if (command == L"settings") return WriteSettings(target, argc - 3, argv + 3);
    if (command == L"forget") return ForgetSettings(target);
    if (!EnterProgramDesktop()) return 1;
    if (command == L"window") return ShownWindow(target);
    if (command == L"wait-text" && argc == 5) return WaitForText(target, _wtoi(argv[3]), argv[4]);
    if (command == L"stop") return Stop(target);
    if (command == L"tray") return OpenTrayMenu(target);
    if (command == L"about") return OpenAbout(target);
    if (command == L"close") return CloseOpenWindows(target);
    if (command == L"exit") return Exit(target);
    return 2;
}
