// Drives a running Varnow.exe for the manual's screenshots, the way a user
// would, and prints where each window stands so the shell script can crop the
// screen to it. Geometry is printed as ImageMagick's WxH+X+Y.
//
//   WindowShot settings <section> <name>=<value>...   Iconic and Priority as numbers
//   WindowShot forget <section>
//   WindowShot printer-add <name> <port> <unix-path>   a printer whose jobs go to the path
//   WindowShot printer-remove <name> <port>
//   WindowShot window <caption>                  the main window, once shown
//   WindowShot wait-text <caption> <id> <text>   until a field shows the text
//   WindowShot wait-words <caption> <id> <text>  until a field's text holds the text
//   WindowShot hold <caption> <id> <text>        as wait-words, then the program
//                                                stands still (its threads suspended)
//   WindowShot release <caption>                 the program goes on
//   WindowShot set-text <caption> <id> <text>    types the text into a field
//   WindowShot stop <caption>                    run button: searching -> stopped
//   WindowShot start <caption>                   run button: stopped -> searching
//   WindowShot output-menu <caption>             opens the menu of the button beside 出力先
//   WindowShot tray <caption>                    the tray menu, opened at the cursor
//   WindowShot about <caption>                   the About window from the system menu
//   WindowShot close <caption>                   closes the open menu and the About window
//   WindowShot exit <caption>                    the tray menu's Exit, until the process ends
#include <windows.h>
// After <windows.h>, which they need.
#include <tlhelp32.h>
#include <winspool.h>

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
constexpr int kOutputMenuButton = 1015;
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
bool ShownArea(HWND window, RECT& rect) {
    if (!window || !GetWindowRect(window, &rect)) return false;
    POINT client{0, 0};
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION &&
        ClientToScreen(window, &client)) {
        rect.top = client.y;
    }
    return true;
}

int PrintRect(const RECT& rect) {
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                rect.top);
    return 0;
}

int PrintGeometry(HWND window) {
    RECT rect;
    return ShownArea(window, rect) ? PrintRect(rect) : 1;
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

// Wine without CUPS has neither printer nor driver; its PostScript driver
// serves, since RAW jobs pass it by. Where a port's jobs go is Wine's setting.
// The spooler is loaded only here, so the other commands need no more than
// user32 and advapi32.
const wchar_t kSpoolerPorts[] = L"Software\\Wine\\Printing\\Spooler";

HMODULE SpoolerModule() {
    static const HMODULE module = LoadLibraryW(L"winspool.drv");
    return module;
}

template <typename Function>
Function* Spooler(const char* name) {
    HMODULE module = SpoolerModule();
    return module
               ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}

int AddPrinter(const wchar_t* name, const wchar_t* port, const wchar_t* target) {
    auto* addDriver = Spooler<decltype(AddPrinterDriverW)>("AddPrinterDriverW");
    auto* add = Spooler<decltype(AddPrinterW)>("AddPrinterW");
    auto* close = Spooler<decltype(ClosePrinter)>("ClosePrinter");
    if (!addDriver || !add || !close) return 1;
    wchar_t driverName[] = L"Wine PostScript Driver";
    wchar_t driverFile[] = L"wineps.drv";
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = driverName;
    driver.pDriverPath = driverFile;
    driver.pDataFile = driverFile;
    driver.pConfigFile = driverFile;
    if (!addDriver(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
        return 1;
    }
    UniqueRegKey ports;
    const std::wstring path = target;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSpoolerPorts, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        ports.put(), nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(ports.get(), port, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        return 1;
    }
    std::wstring printerName = name;
    std::wstring portName = port;
    wchar_t processor[] = L"WinPrint";
    wchar_t raw[] = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = &printerName[0];
    info.pPortName = &portName[0];
    info.pDriverName = driverName;
    info.pPrintProcessor = processor;
    info.pDatatype = raw;
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const HANDLE printer = add(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer) return GetLastError() == ERROR_PRINTER_ALREADY_EXISTS ? 0 : 1;
    close(printer);
    return 0;
}

int RemovePrinter(const wchar_t* name, const wchar_t* port) {
    auto* open = Spooler<decltype(OpenPrinterW)>("OpenPrinterW");
    auto* remove = Spooler<decltype(DeletePrinter)>("DeletePrinter");
    auto* close = Spooler<decltype(ClosePrinter)>("ClosePrinter");
    if (!open || !remove || !close) return 1;
    std::wstring printerName = name;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    bool removed = true;
    if (open(&printerName[0], &printer, &access)) {
        removed = remove(printer) != FALSE;
        close(printer);
    }
    UniqueRegKey ports;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSpoolerPorts, 0, KEY_SET_VALUE, ports.put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(ports.get(), port);
    }
    return removed ? 0 : 1;
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

int WaitForWords(const wchar_t* caption, int id, const wchar_t* text) {
    return WaitFor([&] {
        HWND window = VisibleWindow(caption);
        return window && ItemText(window, id).find(text) != std::wstring::npos;
    })
               ? 0
               : 1;
}

// Suspends (or resumes) every thread of the window's process, so that what it
// shows cannot change between a check and a screenshot.
bool SetProcessHeld(HWND window, bool held) {
    DWORD process = 0;
    if (!window || !GetWindowThreadProcessId(window, &process)) return false;
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return false;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int done = 0, failed = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != process) continue;
        UniqueKernelHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
        const DWORD previous = !thread ? DWORD(-1)
                               : held  ? SuspendThread(thread.get())
                                       : ResumeThread(thread.get());
        ++(previous == DWORD(-1) ? failed : done);
    }
    return done > 0 && failed == 0;
}

// The text as the window holds it: asking a held program would never return.
std::wstring HeldText(HWND window, int id) {
    wchar_t text[256] = L"";
    GetWindowTextW(GetDlgItem(window, id), text, 256);
    return text;
}

// The field may change between the wait and the hold: then the program goes
// on until the words are there again.
int Hold(const wchar_t* caption, int id, const wchar_t* words) {
    HWND window = nullptr;
    return WaitFor([&] {
        window = VisibleWindow(caption);
        if (!window || ItemText(window, id).find(words) == std::wstring::npos) return false;
        if (SetProcessHeld(window, true) &&
            HeldText(window, id).find(words) != std::wstring::npos) {
            return true;
        }
        SetProcessHeld(window, false);
        return false;
    })
               ? 0
               : 1;
}

int Release(const wchar_t* caption) {
    return SetProcessHeld(FindWindowW(L"#32770", caption), false) ? 0 : 1;
}

// As if typed: the program reads its fields when the search starts.
int SetText(const wchar_t* caption, int id, const wchar_t* text) {
    HWND window = VisibleWindow(caption);
    HWND field = window ? GetDlgItem(window, id) : nullptr;
    if (!field) return 1;
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return ItemText(window, id) == text ? 0 : 1;
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

int Start(const wchar_t* caption) {
    HWND window = VisibleWindow(caption);
    if (!window) return 1;
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return WaitFor([&] { return IsWindowVisible(GetDlgItem(window, IDCANCEL)) == FALSE; }) ? 0 : 1;
}

// The menu is modal inside the program's click handler, so the click is posted.
int OpenOutputMenu(const wchar_t* caption) {
    HWND window = VisibleWindow(caption);
    HWND button = window ? GetDlgItem(window, kOutputMenuButton) : nullptr;
    if (!button || !IsWindowEnabled(button)) return 1;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kOutputMenuButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    HWND popup = nullptr;
    return WaitFor([&] { return (popup = OpenMenu()) != nullptr; }) ? PrintGeometry(popup) : 1;
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

// Exit while a job is being output only cancels it; the next Exit, once the
// cancel is over, ends the program. So Exit is given again now and then.
int Exit(const wchar_t* caption) {
    HWND window = FindWindowW(L"#32770", caption);
    if (!window) return 1;
    DWORD waited = 0;
    return WaitFor([&] {
        if (waited++ % 30 == 0) PostMessageW(window, WM_COMMAND, kTrayExit, 0);
        return !IsWindow(window);
    })
               ? 0
               : 1;
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
    if (command == L"printer-add" && argc == 5) return AddPrinter(target, argv[3], argv[4]);
    if (command == L"printer-remove" && argc == 4) return RemovePrinter(target, argv[3]);
    if (!EnterProgramDesktop()) return 1;
    if (command == L"window") return ShownWindow(target);
    if (command == L"wait-text" && argc == 5) return WaitForText(target, _wtoi(argv[3]), argv[4]);
    if (command == L"wait-words" && argc == 5) return WaitForWords(target, _wtoi(argv[3]), argv[4]);
    if (command == L"hold" && argc == 5) return Hold(target, _wtoi(argv[3]), argv[4]);
    if (command == L"release") return Release(target);
    if (command == L"set-text" && argc == 5) return SetText(target, _wtoi(argv[3]), argv[4]);
    if (command == L"stop") return Stop(target);
    if (command == L"start") return Start(target);
    if (command == L"output-menu") return OpenOutputMenu(target);
    if (command == L"tray") return OpenTrayMenu(target);
    if (command == L"about") return OpenAbout(target);
    if (command == L"close") return CloseOpenWindows(target);
    if (command == L"exit") return Exit(target);
    return 2;
}
