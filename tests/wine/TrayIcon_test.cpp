// The tray icon in this process: its shell record through the add, modify and
// delete states, and the context menu it offers for each run state and window
// state. The menu is read while TrackPopupMenu runs, then dismissed.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/Text.h"
#include "relay/RelayState.h"
#include "res/resource.h"
#include "ui/TrayIcon.h"

namespace {

using Captions = std::vector<std::wstring>;

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_window.m_hWnd = CreateWindowExW(0, L"STATIC", L"tray owner", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                          100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_window.m_hWnd, nullptr);
    }
    void TearDown() override { DestroyWindow(m_window.m_hWnd); }

    // Opens the context menu and returns what it offered, with "*" marking the
    // default item and "-" standing for a separator.
    Captions RightClickMenu(CTrayIcon& tray) {
        s_seen.clear();
        UINT_PTR timer = SetTimer(nullptr, 0, 100, ReadOpenMenu);
        EXPECT_EQ(tray.HandleTrayMessage(IDI_TRAY, WM_RBUTTONUP), 1);
        KillTimer(nullptr, timer);
        return s_seen;
    }

    static void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
        HWND popup = FindWindowW(L"#32768", nullptr);
        if (!popup || !IsWindowVisible(popup) || !s_seen.empty()) return;
        auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, 0x01E1 /* MN_GETHMENU */, 0, 0));
        const int defaultItem = static_cast<int>(GetMenuDefaultItem(menu, TRUE, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            if (GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR) {
                s_seen.push_back(L"-");
                continue;
            }
            wchar_t text[64] = L"";
            GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
            s_seen.push_back(std::wstring(i == defaultItem ? L"*" : L"") + text);
        }
        EndMenu();
    }

    static Captions s_seen;
    CWnd m_window;
};

Captions TrayIconTest::s_seen;

TEST_F(TrayIconTest, RecordStartsInItsFirstFormWithTheVersionAsTooltip) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    EXPECT_EQ(tray.m_nid.cbSize, NOTIFYICONDATAA_V1_SIZE);
#ifndef _WIN64
    EXPECT_EQ(tray.m_nid.cbSize, 88u);
#endif
    EXPECT_EQ(tray.m_nid.uID, 129u);
    EXPECT_STREQ(tray.m_nid.szTip, "Varnow Ver1.3");
    EXPECT_EQ(tray.m_nid.hIcon, nullptr);

    CTrayIcon untitled(IDI_TRAY, 4711);
    EXPECT_STREQ(untitled.m_nid.szTip, "");
}

TEST_F(TrayIconTest, IconIsAddedModifiedAndRemoved) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    EXPECT_TRUE(tray.SetTrayIcon(nullptr));  // nothing shown: no shell call, nothing to do
    EXPECT_EQ(tray.m_nid.hIcon, nullptr);

    tray.SetCallback(&m_window, WM_USER);
    ASSERT_TRUE(tray.SetTrayIcon(IDI_TRAY, IDS_VERSION));
    HICON trayIcon = tray.m_nid.hIcon;
    ASSERT_NE(trayIcon, nullptr);
    EXPECT_EQ(tray.m_nid.uFlags, UINT{NIF_ICON | NIF_TIP | NIF_MESSAGE});
    EXPECT_EQ(tray.m_nid.hWnd, m_window.m_hWnd);

    ASSERT_TRUE(tray.SetTrayIcon(IDR_MAINFRAME, 0));
    EXPECT_NE(tray.m_nid.hIcon, nullptr);
    EXPECT_NE(tray.m_nid.hIcon, trayIcon);
    EXPECT_STREQ(tray.m_nid.szTip, "Varnow Ver1.3");  // 0 kept the tooltip

    EXPECT_TRUE(tray.AddAgain());
    EXPECT_NE(tray.m_nid.hIcon, nullptr);

    // An icon number that does not exist removes the icon, like 0 does.
    EXPECT_TRUE(tray.SetTrayIcon(4711, 0));
    EXPECT_EQ(tray.m_nid.hIcon, nullptr);
    EXPECT_TRUE(tray.SetTrayIcon(0u, 0u));
    EXPECT_TRUE(tray.AddAgain());
    EXPECT_EQ(tray.m_nid.hIcon, nullptr);
}

HICON SmallIcon(UINT id) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                         IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                         GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

TEST_F(TrayIconTest, ATroubleShowsTheWarningIconAndItsWordsUntilItClears) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    tray.SetCallback(&m_window, WM_USER);
    tray.SetSection("LABEL");
    // Not shown yet: only the tooltip follows.
    EXPECT_TRUE(tray.ShowTrouble(true, "x"));
    EXPECT_EQ(tray.m_nid.hIcon, nullptr);
    EXPECT_TRUE(tray.ShowTrouble(false, ""));
    ASSERT_TRUE(tray.SetTrayIcon(IDI_TRAY, IDS_VERSION));
    EXPECT_STREQ(tray.m_nid.szTip, "Varnow Ver1.3 - LABEL");
    const HICON usual = tray.m_nid.hIcon;
    ASSERT_EQ(usual, SmallIcon(IDI_TRAY));

    const std::string trouble = WideToAnsi(L"出力先 LPT1 を開けません");
    ASSERT_TRUE(tray.ShowTrouble(true, trouble));
    EXPECT_EQ(tray.m_nid.hIcon, SmallIcon(IDI_TRAY_WARNING));
    EXPECT_NE(tray.m_nid.hIcon, usual);
    EXPECT_EQ(tray.m_nid.uFlags, UINT{NIF_ICON | NIF_TIP | NIF_MESSAGE});
    EXPECT_EQ(std::string(tray.m_nid.szTip), "Varnow Ver1.3 - LABEL\n" + trouble);

    ASSERT_TRUE(tray.ShowTrouble(false, trouble));
    EXPECT_EQ(tray.m_nid.hIcon, usual);
    EXPECT_STREQ(tray.m_nid.szTip, "Varnow Ver1.3 - LABEL");

    // The default section is not named, whatever its case.
    tray.SetSection("varnow");
    ASSERT_TRUE(tray.ShowTrouble(true, trouble));
    EXPECT_EQ(std::string(tray.m_nid.szTip), "Varnow Ver1.3\n" + trouble);
}

TEST_F(TrayIconTest, ALongTooltipIsCutBetweenCharactersWithinTheFirstFormsLimit) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    tray.SetSection("LABEL");  // "Varnow Ver1.3 - LABEL\n": 22 bytes, then double-byte ones
    const std::string trouble = WideToAnsi(std::wstring(30, L'紙'));
    ASSERT_EQ(trouble.size(), 60u);
    tray.ShowTrouble(true, trouble);
    const std::string tip = tray.m_nid.szTip;
    EXPECT_EQ(tip, "Varnow Ver1.3 - LABEL\n" + trouble.substr(0, 40));

    tray.SetSection(std::string(70, 'S'));
    EXPECT_EQ(std::string(tray.m_nid.szTip),
              ("Varnow Ver1.3 - " + std::string(70, 'S')).substr(0, 63));
}

TEST_F(TrayIconTest, WithoutACallbackWindowTheShellGetsNoMessage) {
    CTrayIcon tray(IDI_TRAY, 0);
    tray.SetCallback(nullptr, WM_USER);
    ASSERT_TRUE(tray.SetTrayIcon(IDI_TRAY, 0));
    EXPECT_EQ(tray.m_nid.uFlags, UINT{NIF_ICON});
}

TEST_F(TrayIconTest, OnlyReleasesOnItsOwnIdentifierAreHandled) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    tray.SetCallback(&m_window, WM_USER);
    EXPECT_EQ(tray.HandleTrayMessage(0, WM_RBUTTONUP), 0);  // DM_GETDEFID has wParam 0
    EXPECT_EQ(tray.HandleTrayMessage(IDI_TRAY, WM_MOUSEMOVE), 0);
    EXPECT_EQ(tray.HandleTrayMessage(IDI_TRAY, WM_LBUTTONDBLCLK), 0);
    EXPECT_FALSE(IsWindowVisible(m_window.m_hWnd));
}

TEST_F(TrayIconTest, LeftClickRestoresAndShowsAMinimisedWindow) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    tray.SetCallback(&m_window, WM_USER);
    ShowWindow(m_window.m_hWnd, SW_MINIMIZE);
    ShowWindow(m_window.m_hWnd, SW_HIDE);
    EXPECT_EQ(tray.HandleTrayMessage(IDI_TRAY, WM_LBUTTONUP), 1);
    EXPECT_FALSE(IsIconic(m_window.m_hWnd));
    EXPECT_TRUE(IsWindowVisible(m_window.m_hWnd));
}

TEST_F(TrayIconTest, MenuOffersTheItemsThatFitTheRunStateAndTheWindow) {
    CTrayIcon tray(IDI_TRAY, IDS_VERSION);
    tray.SetCallback(&m_window, WM_USER);

    tray.m_nMenuState = Stopped;
    EXPECT_EQ(RightClickMenu(tray), (Captions{L"*バージョン情報", L"隠す", L"記録を開く", L"終了", L"-", L"検索開始"}));
    tray.m_nMenuState = Outputting;
    EXPECT_EQ(RightClickMenu(tray), (Captions{L"*バージョン情報", L"隠す", L"記録を開く", L"終了", L"-", L"出力中止"}));

    ShowWindow(m_window.m_hWnd, SW_MINIMIZE);
    tray.m_nMenuState = Searching;
    EXPECT_EQ(RightClickMenu(tray), (Captions{L"*バージョン情報", L"表示する", L"記録を開く", L"終了", L"-", L"検索中断"}));
    tray.m_nMenuState = 7;
    EXPECT_EQ(RightClickMenu(tray), (Captions{L"*バージョン情報", L"表示する", L"記録を開く", L"終了", L"-", L"検索開始",
                                              L"検索中断", L"出力中止"}));
}

}  // namespace
