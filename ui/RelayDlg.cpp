#include "ui/RelayDlg.h"

#include "framework/DataExchange.h"
#include "framework/Text.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"

CRelayDlg::CRelayDlg(CWnd* parent)
    : CDialog(IDD_VARNOW_DIALOG, parent),
      m_pTray(std::make_unique<CTrayIcon>(IDI_TRAY, IDS_VERSION)),
      m_engine(*this, platform::SystemFileSystem(), platform::SystemClock(),
               platform::SystemThreadStarter(), platform::IsLeadByteSystem) {
    char path[MAX_PATH] = "";
    if (::GetModuleFileNameA(nullptr, path, MAX_PATH) > 0)
        ::ExtractIconExA(path, 0, m_hIcon.put(), m_hSmallIcon.put(), 1);
}

MessageTable CRelayDlg::GetMessageTable() const {
    // The shell broadcasts this when it starts again, e.g. after Explorer
    // crashed; its number is only known at run time.
    static const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    static const MessageEntry entries[] = {
        BindMessage(WM_SYSCOMMAND, &CRelayDlg::OnSysCommand),
        BindMessage(WM_DESTROY, &CRelayDlg::OnDestroy),
        BindMessage(WM_PAINT, &CRelayDlg::OnPaint),
        BindMessage(WM_QUERYDRAGICON, &CRelayDlg::OnQueryDragIcon),
        BindMessage(WM_TIMER, &CRelayDlg::OnTimer),
        BindMessage(WM_SIZE, &CRelayDlg::OnSize),
        BindCommand(BN_CLICKED, IDC_BROWSE_HEADER, &CRelayDlg::OnBrowseHeader),
        BindCommand(BN_CLICKED, IDC_BROWSE_FOOTER, &CRelayDlg::OnBrowseFooter),
        BindCommand(BN_CLICKED, IDC_BROWSE_FOLDER, &CRelayDlg::OnBrowseFolder),
        BindCommand(BN_CLICKED, IDC_OUTPUT_MENU, &CRelayDlg::OnOutputMenu),
        BindCommand(EN_CHANGE, IDC_FOLDER, &CRelayDlg::OnFolderChanged),
        BindCommand(EN_CHANGE, IDC_OUTPUT, &CRelayDlg::OnOutputChanged),
        BindMessage(WM_TRAY_CALLBACK, &CRelayDlg::OnTrayCallback),
        BindMessage(WM_WINDOWPOSCHANGING, &CRelayDlg::OnWindowPosChanging),
        BindMessage(WM_QUERYOPEN, &CRelayDlg::OnQueryOpen),
        BindMessage(WM_RELAY_EVENT, &CRelayDlg::OnRelayEvent),
        BindMessage(WM_ENDSESSION, &CRelayDlg::OnEndSession),
        BindMessage(taskbarCreated, &CRelayDlg::OnTaskbarCreated),
    };
    // Without a registered number the last binding would catch WM_NULL.
    MessageTable table = MakeTable(entries);
    if (taskbarCreated == 0) --table.count;
    return table;
}

void CRelayDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Control(dx, IDC_FOLDER, m_editFolder);
    DDX_Control(dx, IDC_PRIORITY, m_sliderPriority);
    DDX_Control(dx, IDC_WAITING, m_editWaiting);
    DDX_Control(dx, IDC_TARGET, m_editTarget);
    DDX_Control(dx, IDC_OUTPUT, m_editOutput);
    DDX_Control(dx, IDC_HEADER, m_editHeader);
    DDX_Control(dx, IDC_FOOTER, m_editFooter);
    DDX_Control(dx, IDCANCEL, m_btnExit);
    DDX_Control(dx, IDOK, m_btnRun);
    DDX_Control(dx, IDC_OUTPUT_MENU, m_btnOutputMenu);
    bool unrepresentable = m_engine.OutputUnrepresentable();
    DDX_ExactText(dx, IDC_OUTPUT, m_engine.m_strOutput, &unrepresentable);
    m_engine.SetOutputUnrepresentable(unrepresentable);
    DDX_Text(dx, IDC_FOOTER, m_engine.m_strFooter);
    DDX_Text(dx, IDC_HEADER, m_engine.m_strHeader);
    DDX_Text(dx, IDC_TARGET, m_engine.m_strTarget);
    DDX_Text(dx, IDC_WAITING, m_engine.m_strWaiting);
    DDX_Text(dx, IDC_FILE_COUNT, m_engine.m_strFileCount);
    DDX_Text(dx, IDC_BYTE_COUNT, m_engine.m_strByteCount);
    DDX_Text(dx, IDC_UPTIME, m_engine.m_strUptime);
    DDX_Text(dx, IDC_FOLDER, m_engine.m_strFolder);
}

// A name the code page cannot spell is told on the status line as it is
// typed, not first when the search starts.
void CRelayDlg::OnOutputChanged() {
    if (m_editOutput.m_hWnd) m_engine.SetOutputUnrepresentable(!SpellsInAnsi(m_editOutput.GetText()));
}

// Fills the window, puts the icon in the notification area and starts
// searching at once.
BOOL CRelayDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_btnBrowseFolder.AutoLoad(IDC_BROWSE_FOLDER, *this);
    m_btnBrowseHeader.AutoLoad(IDC_BROWSE_HEADER, *this);
    m_btnBrowseFooter.AutoLoad(IDC_BROWSE_FOOTER, *this);
    m_folderTip.Attach(m_editFolder.m_hWnd);
    SetUpSystemMenu();
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon.get()));

    m_engine.EnterStopped();
    EnableRunButton(true);
    SetRunButtonCaption(kCaptionStartSearch);
    m_sliderPriority.SetRange(0, 6, false);
    m_sliderPriority.SetPos(m_engine.m_nPriority);
    UpdateData(false);
    m_pTray->SetCallback(this, WM_TRAY_CALLBACK);
    m_pTray->SetSection(m_engine.m_strProfile);
    m_pTray->SetTrayIcon(IDI_TRAY, IDS_VERSION);
    ::SetWindowTextW(m_hWnd, AnsiToWide(m_engine.m_strProfile).c_str());
    m_engine.ResetCounters();

    CentreOnWorkArea();
    RECT rect{};
    ::GetWindowRect(m_hWnd, &rect);
    m_engine.m_rectWindow = WindowRect{rect.left, rect.top, rect.right, rect.bottom};
    if (m_engine.m_bIconic) {
        m_bHoldHidden = true;
        ::ShowWindow(m_hWnd, SW_HIDE);
        ::CloseWindow(m_hWnd);
        ::MoveWindow(m_hWnd, 0, 0, 0, 0, TRUE);
    } else {
        ::ShowWindow(m_hWnd, SW_SHOW);
    }
    ::SetTimer(m_hWnd, kDisplayTimer, 0, nullptr);
    m_engine.OnOK();
    return TRUE;
}

// The record folder and About at the end; no Maximize, Size or Restore for
// a fixed-size window that hides when minimised.
void CRelayDlg::SetUpSystemMenu() {
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!menu) return;
    const std::wstring records = LoadResourceString(IDS_OPEN_RECORDS);
    const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
    if (!records.empty() || !about.empty()) ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    if (!records.empty()) ::AppendMenuW(menu, MF_STRING, IDM_OPEN_RECORDS, records.c_str());
    if (!about.empty()) ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    ::DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
}

// The main window has no owner to centre on: it goes to the middle of the
// work area of its monitor.
void CRelayDlg::CentreOnWorkArea() {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = work.left + (work.right - work.left - width) / 2;
    const int y = work.top + (work.bottom - work.top - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CRelayDlg::ShowAbout() {
    UpdateData(true);
    CAboutDlg about;
    about.m_pMainDlg = this;
    about.DoModal();
}

void CRelayDlg::BringBack() {
    m_bHoldHidden = false;
    ::SetForegroundWindow(m_hWnd);
    if (::IsIconic(m_hWnd)) ::OpenIcon(m_hWnd);
    ::ShowWindow(m_hWnd, SW_SHOW);
}

LRESULT CRelayDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        ShowAbout();
    } else if ((wParam & 0xFFF0) == IDM_OPEN_RECORDS) {
        OpenRecordFolder();
    } else if (wParam == SC_CLOSE) {
        m_engine.ExitCommand();
    } else {
        return Default();
    }
    return 0;
}

// The tray commands come here; everything then takes the usual route, which
// brings the run and exit buttons to OnOK/OnCancel and Help to the application.
BOOL CRelayDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case ID_SEARCH_START:
    case ID_SEARCH_STOP:
    case ID_OUTPUT_CANCEL:
        m_engine.OnOK();
        break;
    case ID_TRAY_EXIT:
        m_engine.ExitCommand();
        break;
    case ID_APP_ABOUT_TRAY:
        ShowAbout();
        break;
    case ID_TRAY_HIDE:
        ::CloseWindow(m_hWnd);
        break;
    case ID_TRAY_SHOW:
        BringBack();
        break;
    case ID_OPEN_RECORDS:
        OpenRecordFolder();
        break;
    default:
        break;
    }
    return CDialog::OnCommand(wParam, lParam);
}

LRESULT CRelayDlg::OnSize(WPARAM wParam, LPARAM) {
    Default();
    if (wParam == SIZE_MINIMIZED) ::ShowWindow(m_hWnd, SW_HIDE);
    return 0;
}

LRESULT CRelayDlg::OnPaint(WPARAM, LPARAM) {
    if (!::IsIconic(m_hWnd)) return Default();
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    if (m_hIcon) ::DrawIcon(dc, x, y, m_hIcon.get());
    ::EndPaint(m_hWnd, &paint);
    return 0;
}

LRESULT CRelayDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon.get()); }

LRESULT CRelayDlg::OnDestroy(WPARAM, LPARAM) {
    if (CWinApp* app = CWinApp::Current()) ::WinHelpA(m_hWnd, app->HelpFilePath().c_str(), HELP_QUIT, 0);
    return Default();
}

LRESULT CRelayDlg::OnTimer(WPARAM wParam, LPARAM) {
    m_engine.OnTimer(static_cast<unsigned>(wParam));
    return 0;
}

// Reports for other identifiers are not the icon's: DM_GETDEFID arrives with
// the same message number and must get the dialog manager's answer.
LRESULT CRelayDlg::OnTrayCallback(WPARAM wParam, LPARAM lParam) {
    if (wParam != IDI_TRAY) return Default();
    if (!m_pTray) return 0;  // the exit action has removed the icon
    if (lParam == WM_LBUTTONUP) m_bHoldHidden = false;
    m_pTray->m_nMenuState = m_engine.m_nRunState;
    return m_pTray->HandleTrayMessage(wParam, lParam);
}

LRESULT CRelayDlg::OnTaskbarCreated(WPARAM, LPARAM) {
    if (m_pTray) m_pTray->AddAgain();
    return 0;
}

LRESULT CRelayDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    if (m_bHoldHidden) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
    return Default();
}

LRESULT CRelayDlg::OnQueryOpen(WPARAM, LPARAM) { return m_bHoldHidden ? FALSE : Default(); }

// Windows ending the session is no exit of the operator's: the restart
// registration stays, so the copy comes back after an update restart. The
// process may be ended as soon as this returns, so the settings are stored
// now, and no new job starts that could not be finished.
LRESULT CRelayDlg::OnEndSession(WPARAM wParam, LPARAM) {
    if (!wParam) return 0;
    ::KillTimer(m_hWnd, kSearchTimer);
    m_engine.TakeSettingsFromWindow();
    if (m_storeAtSessionEnd) m_storeAtSessionEnd();
    return 0;
}
