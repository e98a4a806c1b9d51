// The window side of the run-state logic: what the engine asks of its view,
// done with the real controls, timers and window states.
#include "framework/Text.h"
#include "framework/WinApp.h"
#include "ui/RelayDlg.h"

CWnd& CRelayDlg::Control(SettingControl control) {
    switch (control) {
    case SettingControl::Folder: return m_editFolder;
    case SettingControl::Waiting: return m_editWaiting;
    case SettingControl::Target: return m_editTarget;
    case SettingControl::Output: return m_editOutput;
    case SettingControl::Header: return m_editHeader;
    case SettingControl::Footer: return m_editFooter;
    case SettingControl::Priority: return m_sliderPriority;
    case SettingControl::OutputMenu: return m_btnOutputMenu;
    case SettingControl::BrowseFooter: return m_btnBrowseFooter;
    case SettingControl::BrowseHeader: return m_btnBrowseHeader;
    case SettingControl::BrowseFolder: return m_btnBrowseFolder;
    case SettingControl::Exit: return m_btnExit;
    }
    return m_btnExit;
}

// A control that is disabled or hidden while it has the focus keeps it, and
// then Esc, Enter, Tab and F1 reach nothing until the user clicks: the focus
// moves on to the next control first.
void CRelayDlg::MoveFocusFrom(HWND control) {
    if (::GetFocus() == control) ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
}

void CRelayDlg::EnableControl(SettingControl control, bool enable) {
    if (!enable) MoveFocusFrom(Control(control).m_hWnd);
    Control(control).EnableWindow(enable);
}

void CRelayDlg::ShowControl(SettingControl control, bool show) {
    if (!show) MoveFocusFrom(Control(control).m_hWnd);
    Control(control).ShowWindow(show ? SW_SHOW : SW_HIDE);
}

// The run button is disabled only while an output is being cancelled; the
// focus it lent then comes back, unless the user has moved it meanwhile.
void CRelayDlg::EnableRunButton(bool enable) {
    if (!enable && ::GetFocus() == m_btnRun.m_hWnd) {
        MoveFocusFrom(m_btnRun.m_hWnd);
        m_hFocusLent = ::GetFocus();
    }
    m_btnRun.EnableWindow(enable);
    if (enable && m_hFocusLent) {
        if (::GetFocus() == m_hFocusLent) {
            ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_btnRun.m_hWnd), TRUE);
        }
        m_hFocusLent = nullptr;
    }
}

// Set only when it changes: a repaint per job would slow a backlog down.
void CRelayDlg::SetRunButtonCaption(const char* utf8) {
    const std::wstring caption = Utf8ToWide(utf8);
    wchar_t shown[32] = L"";
    ::GetWindowTextW(m_btnRun.m_hWnd, shown, 32);
    if (caption != shown) m_btnRun.SetText(caption);
}

// Only the window's handle travels: a message posted to a window that is gone
// goes nowhere.
std::function<void()> CRelayDlg::EventPoster(RelayEvent event) {
    const HWND window = m_hWnd;
    return [window, event] { ::PostMessageW(window, WM_RELAY_EVENT, static_cast<WPARAM>(event), 0); };
}

LRESULT CRelayDlg::OnRelayEvent(WPARAM wParam, LPARAM) {
    m_engine.OnEvent(static_cast<RelayEvent>(wParam));
    return 0;
}

void CRelayDlg::SetTimer(unsigned id, unsigned elapseMs) { ::SetTimer(m_hWnd, id, elapseMs, nullptr); }

void CRelayDlg::KillTimer(unsigned id) { ::KillTimer(m_hWnd, id); }

int CRelayDlg::ReadSliderPosition() { return m_sliderPriority.GetPos(); }

void CRelayDlg::SaveFields() { UpdateData(true); }

void CRelayDlg::LoadFields() { UpdateData(false); }

bool CRelayDlg::IsMinimized() { return ::IsIconic(m_hWnd) != FALSE; }

void CRelayDlg::HideWindow() { ::ShowWindow(m_hWnd, SW_HIDE); }

void CRelayDlg::ShowWindow() { ::ShowWindow(m_hWnd, SW_SHOW); }

void CRelayDlg::MinimizeWindow() { ::CloseWindow(m_hWnd); }

void CRelayDlg::MoveWindowTo(const WindowRect& rect) {
    ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void CRelayDlg::BeginWaitCursor() {
    if (CWinApp* app = CWinApp::Current()) app->BeginWaitCursor();
}

void CRelayDlg::EndWaitCursor() {
    if (CWinApp* app = CWinApp::Current()) app->EndWaitCursor();
}

// Keeps the window painting and its timers ticking while the engine waits
// for the worker. A WM_QUIT met on the way is not ours to take: it is posted
// again once the wait is over, and the wait goes on without the pump.
void CRelayDlg::WaitUntil(const std::function<bool()>& done, unsigned pollMs) {
    bool quit = false;
    WPARAM exitCode = 0;
    while (!done()) {
        if (quit) {
            ::Sleep(pollMs);
            continue;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, pollMs, QS_ALLINPUT);
        MSG msg;
        while (!quit && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                exitCode = msg.wParam;
            } else if (!::IsDialogMessageW(m_hWnd, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }
    if (quit) ::PostQuitMessage(static_cast<int>(exitCode));
}

void CRelayDlg::WithdrawRestart() { ::UnregisterApplicationRestart(); }

void CRelayDlg::RemoveTrayIcon() { m_pTray.reset(); }

void CRelayDlg::EndDialog() { CDialog::EndDialog(IDCANCEL); }
