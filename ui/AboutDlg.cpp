#include "ui/AboutDlg.h"

#include <vector>

#include "framework/DataExchange.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "ui/RelayDlg.h"

namespace {

// The full version, read from the version resource, and which of the two
// builds runs. Empty when the resource cannot be read.
std::wstring FullVersionLine() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &unused);
    if (size == 0) return std::wstring();
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path, 0, size, data.data())) return std::wstring();
    void* block = nullptr;
    UINT blockSize = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &block, &blockSize) ||
        blockSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::wstring();
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    return L"バージョン " + std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(info->dwFileVersionLS)) +
           (sizeof(void*) == 8 ? L"（64 ビット）" : L"（32 ビット）");
}

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}

void CAboutDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_BYTE_COUNT, m_strByteCount);
    DDX_Text(dx, IDC_FILE_COUNT, m_strFileCount);
    DDX_Text(dx, IDC_UPTIME, m_strUptime);
}

// The totals are copies: the main window goes on counting while this one is
// open, and the snapshot stays as it was.
BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SetDlgItemTextW(m_hWnd, IDC_VERSION, LoadResourceString(IDS_VERSION).c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_FULL_VERSION, FullVersionLine().c_str());
    m_strFileCount = m_pMainDlg->Engine().m_strFileCount;
    m_strByteCount = m_pMainDlg->Engine().m_strByteCount;
    m_strUptime = m_pMainDlg->Engine().m_strUptime;
    UpdateData(false);
    return TRUE;
}

void CAboutDlg::OnOK() { EndDialog(IDOK); }

void CAboutDlg::OnCancel() { EndDialog(IDCANCEL); }
