// Loaded into Varnow.exe through a test's window hook: Wine lets no other
// process read a menu, so this reads the popup menu that is open there and
// writes its items to a file the test reads.
#include <windows.h>

#include <string>

namespace {

constexpr UINT kGetMenuHandle = 0x01E1;  // MN_GETHMENU

void WriteMenu(HWND popup) {
    auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, kGetMenuHandle, 0, 0));
    std::wstring text;
    const int count = GetMenuItemCount(menu);
    const UINT defaultPosition = GetMenuDefaultItem(menu, TRUE, 0);
    for (int i = 0; i < count; ++i) {
        wchar_t caption[128] = L"";
        const bool separator = GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR;
        if (!separator) GetMenuStringW(menu, i, caption, 128, MF_BYPOSITION);
        text += std::to_wstring(GetMenuItemID(menu, i)) + L"\t" +
                (static_cast<UINT>(i) == defaultPosition ? L"default" : L"") + L"\t" +
                (separator ? L"-" : caption) + L"\n";
    }
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    wcscat_s(path, L"varnow-menuspy.txt");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuSpyHook(int code, WPARAM wParam,
                                                              LPARAM lParam) {
    static const UINT readMenu = RegisterWindowMessageW(L"VarnowTestReadMenu");
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == readMenu) WriteMenu(message->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
