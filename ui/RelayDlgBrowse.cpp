// The three browse buttons beside the search folder, header and footer edits.
#include <shlobj.h>

#include "framework/FileDialog.h"
#include "framework/Text.h"
#include "ui/RelayDlg.h"

namespace {

const wchar_t kFileFilter[] = L"BIN (*.bin)|*.bin|TXT (*.txt)|*.txt|All (*.*)|*.*||";

}  // namespace

void CRelayDlg::OnBrowseHeader() { BrowseFile(L"ヘッダーファイル", m_engine.m_strHeader); }

void CRelayDlg::OnBrowseFooter() { BrowseFile(L"フッターファイル", m_engine.m_strFooter); }

// Save first so the dialog starts from what the edit shows; a cancel changes
// nothing.
void CRelayDlg::BrowseFile(const wchar_t* title, std::string& path) {
    UpdateData(true);
    CFileDialog dialog(title, path, L"exe", kFileFilter);
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
    info.lpszTitle = L"探す位置";
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
