#include "ui/AboutDlg.h"

#include "framework/DataExchange.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "ui/RelayDlg.h"

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
    m_strFileCount = m_pMainDlg->Engine().m_strFileCount;
    m_strByteCount = m_pMainDlg->Engine().m_strByteCount;
    m_strUptime = m_pMainDlg->Engine().m_strUptime;
    UpdateData(false);
    return TRUE;
}

void CAboutDlg::OnOK() { EndDialog(IDOK); }

void CAboutDlg::OnCancel() { EndDialog(IDCANCEL); }
