// The dialog base in a real modal run: message-table bindings, the results of
// ordinary and special messages, the default processing a handler can ask
// for, and the routes of commands and F1 to OK and to the application.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "res/resource.h"

namespace {

class HelpCountingApp : public CWinApp {
public:
    BOOL InitInstance() override { return FALSE; }
    void OnHelpCommand() { ++m_helpCount; }
    int m_helpCount = 0;

protected:
    AppCommandTable GetCommandTable() const override {
        static const AppCommandEntry entries[] = {
            {ID_HELP, static_cast<void (CWinApp::*)()>(&HelpCountingApp::OnHelpCommand)},
        };
        return {entries, 1};
    }
};

// Runs its checks from inside its own modal loop, then ends itself with OK.
class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(IDD_ABOUTBOX, nullptr) {}

    std::vector<std::string> m_log;
    LRESULT m_defaultId = 0;
    LRESULT m_ownReport = 0;
    LRESULT m_dragIcon = 0;

protected:
    MessageTable GetMessageTable() const override {
        static const MessageEntry entries[] = {
            BindMessage(WM_USER, &ProbeDialog::OnReport),
            BindMessage(WM_QUERYDRAGICON, &ProbeDialog::OnQueryDragIcon),
            BindMessage(WM_APP, &ProbeDialog::OnRunChecks),
            BindCommand(BN_CLICKED, IDC_VERSION, &ProbeDialog::OnVersionClicked),
        };
        return MakeTable(entries);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessageW(m_hWnd, WM_APP, 0, 0);
        return TRUE;
    }
    void OnOK() override {
        m_log.push_back("OnOK");
        EndDialog(IDOK);
    }

private:
    // Shaped like the tray callback: its own reports are answered here, the
    // dialog manager's DM_GETDEFID (same number) goes to the default processing.
    LRESULT OnReport(WPARAM wParam, LPARAM) { return wParam == 129 ? 77 : Default(); }
    LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return 0x1234; }
    void OnVersionClicked() { m_log.push_back("version"); }
    LRESULT OnRunChecks(WPARAM, LPARAM) {
        m_defaultId = SendMessageW(m_hWnd, DM_GETDEFID, 0, 0);
        m_ownReport = SendMessageW(m_hWnd, WM_USER, 129, WM_RBUTTONUP);
        m_dragIcon = SendMessageW(m_hWnd, WM_QUERYDRAGICON, 0, 0);
        SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_VERSION, BN_CLICKED), 0);
        SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_VERSION, BN_SETFOCUS), 0);
        SendMessageW(m_hWnd, WM_COMMAND, ID_HELP, 0);
        HELPINFO help{};
        help.cbSize = sizeof help;
        SendMessageW(m_hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        PostMessageW(m_hWnd, WM_COMMAND, IDOK, 0);
        return 0;
    }
};

TEST(DialogBase, RoutesMessagesCommandsAndResultsInAModalRun) {
    HelpCountingApp app;
    ProbeDialog dialog;
    app.m_pMainWnd = &dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);

    EXPECT_EQ(dialog.m_defaultId, MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_EQ(dialog.m_ownReport, 77);
    EXPECT_EQ(dialog.m_dragIcon, 0x1234);
    // Only the click reached the binding; the focus notification did not.
    EXPECT_EQ(dialog.m_log, (std::vector<std::string>{"version", "OnOK"}));
    // The Help command and F1 both ended at the application.
    EXPECT_EQ(app.m_helpCount, 2);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

}  // namespace
