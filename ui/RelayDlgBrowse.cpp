// The three browse buttons beside the search folder, header and footer edits,
// and the menu of outputs beside the output edit.
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/FileDialog.h"
#include "framework/Handles.h"
#include "framework/Text.h"
#include "platform/win32/SpoolerOutput.h"
#include "ui/RelayDlg.h"

namespace {

const wchar_t kFileFilter[] = L"BIN (*.bin)|*.bin|TXT (*.txt)|*.txt|All (*.*)|*.*||";

// What this PC offers as an output: its printers by name, then the ports.
std::vector<std::wstring> OfferedOutputs() {
    std::vector<std::wstring> outputs = platform::InstalledPrinters();
    for (const wchar_t* port : {L"LPT1", L"LPT2", L"LPT3"}) outputs.emplace_back(port);
    return outputs;
}

}  // namespace

// The setting is a byte string in the ANSI code page: a printer whose name it
// cannot hold is shown but cannot be chosen. The menu opens below the button
// and returns the choice itself, so its item numbers never reach OnCommand.
void CRelayDlg::OnOutputMenu() {
    const std::vector<std::wstring> outputs = OfferedOutputs();
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const size_t printers = outputs.size() - 3;
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (i == printers && printers > 0) ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        const bool fits = SpellsInAnsi(outputs[i]);
        ::AppendMenuW(menu.get(), MF_STRING | (fits ? 0 : MF_GRAYED), i + 1, outputs[i].c_str());
    }
    RECT button{};
    ::GetWindowRect(m_btnOutputMenu.m_hWnd, &button);
    TPMPARAMS keepClear{sizeof keepClear, button};
    ::SetForegroundWindow(m_hWnd);
    const UINT chosen = ::TrackPopupMenuEx(menu.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD |
                                                           TPM_VERTICAL | TPM_NONOTIFY,
                                           button.left, button.bottom, m_hWnd, &keepClear);
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    if (chosen == 0 || chosen > outputs.size()) return;
    UpdateData(true);
    m_engine.m_strOutput = WideToAnsi(outputs[chosen - 1]);
    m_engine.SetOutputUnrepresentable(false);
    UpdateData(false);
}

void CRelayDlg::OnBrowseHeader() { BrowseFile(L"ヘッダーファイル", m_engine.m_strHeader); }

void CRelayDlg::OnBrowseFooter() { BrowseFile(L"フッターファイル", m_engine.m_strFooter); }

// Save first so the dialog starts from what the edit shows; a cancel changes
// nothing.
void CRelayDlg::BrowseFile(const wchar_t* title, std::string& path) {
    UpdateData(true);
    // No extension of its own: a name typed without one stays as typed.
    CFileDialog dialog(title, path, L"", kFileFilter);
    if (dialog.DoModal(m_hWnd) != IDOK) return;
    path = dialog.GetPathName();
    UpdateData(false);
}

void CRelayDlg::OnBrowseFolder() {
    UpdateData(true);
    // A folder text too long for the browser's buffer is not preselected.
    wchar_t folder[MAX_PATH] = L"";
    const std::wstring current = AnsiToWide(m_engine.m_strFolder);
    if (current.size() < MAX_PATH) current.copy(folder, current.size());

    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.pszDisplayName = folder;
    info.lpszTitle = L"検索位置";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(folder);
    LPITEMIDLIST item = ::SHBrowseForFolderW(&info);
    if (!item) return;
    const bool isPath = ::SHGetPathFromIDListW(item, folder) != FALSE;
    ::CoTaskMemFree(item);
    if (!isPath) return;
    m_engine.m_strFolder = WideToAnsi(folder);
    UpdateData(false);
}

// Opens the browser at the current search folder. The display-name buffer is
// only written when the browser returns, so it still holds that folder here.
int CALLBACK CRelayDlg::BrowseFolderCallback(HWND browser, UINT code, LPARAM, LPARAM data) {
    if (code != BFFM_INITIALIZED) return 0;
    ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 1;
}
