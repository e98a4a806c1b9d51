#include "framework/WinApp.h"

#include <shellapi.h>

#include "framework/ComApartment.h"
#include "framework/Text.h"
#include "platform/MbcsText.h"

namespace {

CWinApp* g_app = nullptr;

std::string ModulePath() {
    char path[MAX_PATH] = "";
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

// The extension is what follows the last full stop of the file name itself,
// never a full stop in a folder name; the second byte of a double-byte
// character is never taken for a separator.
std::string WithHelpExtension(const std::string& path) {
    std::size_t dot = std::string::npos;
    for (std::size_t pos = mbcs::FolderPartLength(path, platform::IsLeadByteSystem); pos < path.size();
         pos = mbcs::NextChar(path, pos, platform::IsLeadByteSystem)) {
        if (path[pos] == '.') dot = pos;
    }
    return path.substr(0, dot) + ".HLP";
}

bool IsFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The HTML manual ships beside the program under this fixed name, whatever the
// executable is called.
std::wstring ManualPath() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return L"";
    std::wstring manual(path, length);
    return manual.substr(0, manual.find_last_of(L'\\') + 1) + L"Varnow.html";
}

bool OpenWithDefaultProgram(HWND owner, const std::wstring& path) {
    const ComApartment apartment;
    const HINSTANCE result =
        ::ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace

CWinApp::CWinApp()
    : m_strAppName(ApplicationKeyName()), m_strHelpFilePath(WithHelpExtension(ModulePath())) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::Current() { return g_app; }

void CWinApp::SetRegistryKey(const char* maker) { m_profile.emplace(maker, m_strAppName); }

// Until SetRegistryKey has chosen the registry there is no store: reads give
// their defaults and writes are lost.
int CWinApp::GetProfileInt(const std::string& section, const char* name, int defaultValue) const {
    return m_profile ? m_profile->GetProfileInt(section, name, defaultValue) : defaultValue;
}

std::string CWinApp::GetProfileString(const std::string& section, const char* name,
                                      const std::string& defaultValue) const {
    return m_profile ? m_profile->GetProfileString(section, name, defaultValue) : defaultValue;
}

bool CWinApp::WriteProfileInt(const std::string& section, const char* name, int value) const {
    return m_profile && m_profile->WriteProfileInt(section, name, value);
}

bool CWinApp::WriteProfileString(const std::string& section, const char* name,
                                 const std::string& value) const {
    return m_profile && m_profile->WriteProfileString(section, name, value);
}

bool CWinApp::HandlesCommand(UINT id) const {
    const AppCommandTable table = GetCommandTable();
    for (std::size_t i = 0; i < table.count; ++i)
        if (table.entries[i].id == id) return true;
    return false;
}

bool CWinApp::RouteCommand(UINT id) {
    const AppCommandTable table = GetCommandTable();
    for (std::size_t i = 0; i < table.count; ++i) {
        if (table.entries[i].id == id) {
            (this->*table.entries[i].handler)();
            return true;
        }
    }
    return false;
}

// Opens the help file at its table of topics. Current Windows has no engine for
// .HLP files, so when none sits beside the program the HTML manual shipped
// there opens in the user's browser instead. Failing to start either is the
// one error the program reports; a manual that is there but cannot be opened
// (no program for .html) is named, so the user can open it another way.
void CWinApp::OnHelpFinder() {
    HWND owner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    const std::wstring manual = ManualPath();
    const bool opensManual = !IsFile(::GetFileAttributesA(m_strHelpFilePath.c_str())) &&
                             IsFile(::GetFileAttributesW(manual.c_str()));
    const bool started =
        opensManual ? OpenWithDefaultProgram(owner, manual)
                    : ::WinHelpA(owner, m_strHelpFilePath.c_str(), HELP_FINDER, 0) != FALSE;
    if (!started) {
        const std::wstring message = opensManual ? L"マニュアル（" + manual + L"）を開けませんでした。"
                                                 : L"ﾍﾙﾌﾟの起動に失敗しました。";
        ::MessageBoxW(owner, message.c_str(), AnsiToWide(m_strAppName).c_str(),
                      MB_OK | MB_ICONEXCLAMATION);
    }
}
