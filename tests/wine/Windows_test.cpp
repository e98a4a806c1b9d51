// The main window, its system menu, the tray icon's menu and the About window
// of a real Varnow.exe, driven through window messages as the shell and a
// user would.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <thread>

#include "tests/wine/PlatformTestSupport.h"
#include "tests/wine/VarnowDriver.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

using Captions = std::vector<std::wstring>;

class MainWindow : public ::testing::Test {
protected:
    void StartWith(const char* section, const std::wstring& folder) {
        m_section = std::make_unique<ProfileSection>(section);
        m_section->SetString("Findpos", ToAcp(folder));
        ASSERT_TRUE(m_app.Start(Widen(section), Widen(section)));
        ASSERT_TRUE(m_app.WaitForRunCaption(L"検索中断", 5s));
    }

    Captions TrayMenu() {
        Captions items = m_app.OpenTrayMenu();
        m_app.CloseOpenMenu();
        return items;
    }

    std::unique_ptr<ProfileSection> m_section;
    Varnow m_app;
};

TEST_F(MainWindow, CaptionIsTheSectionNameAndVarnowWithoutArgument) {
    StartWith("UI_Caption", MakeTempFolder(L"caption"));
    wchar_t caption[64] = L"";
    GetWindowTextW(m_app.Window(), caption, 64);
    EXPECT_STREQ(caption, L"UI_Caption");

    ProfileSection defaults("Varnow");
    Varnow bare;
    EXPECT_TRUE(bare.Start(L"", L"Varnow"));
}

TEST_F(MainWindow, SystemMenuOffersRecordsAndAboutButNoMaximizeSizeOrRestore) {
    StartWith("UI_SysMenu", MakeTempFolder(L"sysmenu"));
    PostMessageW(m_app.Window(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND popup = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (popup = FindOpenPopupMenu()) != nullptr; }, 5s));
    const std::vector<MenuItem> items = ReadOpenMenu(popup);
    m_app.CloseOpenMenu();
    std::vector<UINT> ids;
    for (const auto& item : items) ids.push_back(item.id);
    const Captions captions = e2e::Captions(items);

    auto has = [&](UINT id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    EXPECT_TRUE(has(SC_MOVE));
    EXPECT_TRUE(has(SC_MINIMIZE));
    EXPECT_TRUE(has(SC_CLOSE));
    EXPECT_FALSE(has(SC_MAXIMIZE));
    EXPECT_FALSE(has(SC_SIZE));
    EXPECT_FALSE(has(SC_RESTORE));
    ASSERT_GE(captions.size(), 3u);
    EXPECT_EQ(ids.back(), 0x0010u);
    EXPECT_EQ(captions.back(), L"バージョン情報");
    EXPECT_EQ(ids[ids.size() - 2], 0x0020u);
    EXPECT_EQ(captions[captions.size() - 2], L"記録を開く");
    EXPECT_EQ(captions[captions.size() - 3], L"-");
}

TEST_F(MainWindow, MinimiseHidesAndATrayLeftClickRestores) {
    StartWith("UI_Minimise", MakeTempFolder(L"minimise"));
    HWND window = m_app.Window();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5s));
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window) && IsIconic(window); }, 5s));
    m_app.TrayClick(WM_LBUTTONUP);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }, 5s));
}

TEST_F(MainWindow, TrayMenuFollowsRunStateAndWindowState) {
    std::wstring folder = MakeTempFolder(L"traymenu");
    StartWith("UI_TrayMenu", folder);
    HWND window = m_app.Window();

    EXPECT_EQ(TrayMenu(), (Captions{L"バージョン情報", L"隠す", L"記録を開く", L"終了", L"-", L"検索中断"}));

    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(window) != FALSE; }, 5s));
    EXPECT_EQ(TrayMenu(), (Captions{L"バージョン情報", L"表示する", L"記録を開く", L"終了", L"-", L"検索中断"}));

    m_app.TrayClick(WM_LBUTTONUP);
    ASSERT_TRUE(WaitFor([&] { return !IsIconic(window); }, 5s));
    m_app.PostCommand(IDOK);
    ASSERT_TRUE(m_app.WaitForRunCaption(L"検索開始", 5s));
    EXPECT_EQ(TrayMenu(), (Captions{L"バージョン情報", L"隠す", L"記録を開く", L"終了", L"-", L"検索開始"}));

    ASSERT_TRUE(WriteFileBytes(folder + L"\\T.OFI", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\T.GLF", "job"));
    m_app.PostCommand(IDOK);
    ASSERT_TRUE(m_app.WaitForRunCaption(L"出力中止", 8s));
    m_app.TrayClick(WM_RBUTTONUP);
    HWND popup = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (popup = FindOpenPopupMenu()) != nullptr; }, 5s));
    const std::vector<MenuItem> outputting = ReadOpenMenu(popup);
    m_app.CloseOpenMenu();
    EXPECT_EQ(e2e::Captions(outputting),
              (Captions{L"バージョン情報", L"隠す", L"記録を開く", L"終了", L"-", L"出力中止"}));
    ASSERT_FALSE(outputting.empty());
    EXPECT_TRUE(outputting[0].isDefault);
    EXPECT_EQ(outputting[5].id, 32772u);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The section's name holds a character no folder name may hold and one
// outside ASCII; the folder is made on demand, from either menu.
TEST_F(MainWindow, RecordsCommandMakesAndOpensTheSectionsRecordFolder) {
    const std::wstring name = L"UI_Records:記録";
    m_section = std::make_unique<ProfileSection>(ToAcp(name));
    m_section->SetString("Findpos", ToAcp(MakeTempFolder(L"records")));
    wchar_t appData[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(
        SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    const std::wstring folder = std::wstring(appData) + L"\\Brenholt\\Varnow\\Records\\UI_Records%3A記録";
    RemoveDirectoryW(folder.c_str());
    ASSERT_FALSE(IsFolder(folder));
    ASSERT_TRUE(m_app.Start(name, name));
    ASSERT_TRUE(m_app.WaitForRunCaption(L"検索中断", 5s));

    m_app.PostCommand(32779);
    EXPECT_TRUE(WaitFor([&] { return IsFolder(folder); }, 5s));
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    PostMessageW(m_app.Window(), WM_SYSCOMMAND, 0x0020, 0);
    EXPECT_TRUE(WaitFor([&] { return IsFolder(folder); }, 5s));
    RemoveDirectoryW(folder.c_str());
}

TEST_F(MainWindow, AboutShowsVersionAndASnapshotOfTheTotals) {
    StartWith("UI_About", MakeTempFolder(L"about"));
    ASSERT_TRUE(WaitFor([&] { return m_app.ItemText(1008) == L"0"; }, 5s));
    PostMessageW(m_app.Window(), WM_SYSCOMMAND, 0x0010, 0);
    DWORD pid = 0;
    GetWindowThreadProcessId(m_app.Window(), &pid);
    HWND about = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (about = FindProcessWindow(pid, L"バージョン情報")) != nullptr; },
                        5s));
    wchar_t text[128] = L"";
    GetDlgItemTextW(about, 1006, text, 128);
    EXPECT_STREQ(text, L"Varnow Ver1.3");
    GetDlgItemTextW(about, 1014, text, 128);
    // The test is built for the same processor as the program it drives.
    EXPECT_EQ(text, L"バージョン " + Widen(VARNOW_VERSION) + (sizeof(void*) == 8 ? L"（64 ビット）" : L"（32 ビット）"));
    for (int id : {1008, 1009, 1010}) {
        GetDlgItemTextW(about, id, text, 128);
        EXPECT_EQ(text, m_app.ItemText(id)) << id;
    }
    GetDlgItemTextW(about, 1010, text, 128);
    EXPECT_STREQ(text, L"0' 00:00");
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 5s));
}

TEST_F(MainWindow, CancelledHeaderBrowseLeavesTheEditUnchanged) {
    m_section = std::make_unique<ProfileSection>("UI_Browse");
    m_section->SetString("Findpos", ToAcp(MakeTempFolder(L"browse")));
    m_section->SetString("Header", "C:\\forms\\head.bin");
    ASSERT_TRUE(m_app.Start(L"UI_Browse", L"UI_Browse"));
    ASSERT_TRUE(m_app.WaitForRunCaption(L"検索中断", 5s));
    m_app.PostCommand(IDOK);
    ASSERT_TRUE(m_app.WaitForRunCaption(L"検索開始", 5s));

    HWND button = GetDlgItem(m_app.Window(), 1005);
    PostMessageW(m_app.Window(), WM_COMMAND, MAKEWPARAM(1005, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    DWORD pid = 0;
    GetWindowThreadProcessId(m_app.Window(), &pid);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = FindProcessWindow(pid, L"ヘッダーファイル")) != nullptr; },
                        10s));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 5s));
    EXPECT_EQ(m_app.ItemText(1002), L"C:\\forms\\head.bin");
}

// The button beside the output edit comes next in the keyboard order and
// offers this PC's printers, then the ports; a choice fills the edit.
TEST_F(MainWindow, OutputMenuOffersThePrintersThenThePortsAndFillsTheField) {
    const wine_test::TestPrinter printer(L"ラベル プリンター", L"LPT5:", L"/dev/null");
    ASSERT_TRUE(printer.Added());
    StartWith("UI_OutputMenu", MakeTempFolder(L"outputmenu"));
    m_app.PostCommand(IDOK);
    ASSERT_TRUE(m_app.WaitForRunCaption(L"検索開始", 5s));
    HWND window = m_app.Window();
    HWND button = GetDlgItem(window, 1015);
    EXPECT_EQ(GetNextDlgTabItem(window, GetDlgItem(window, 1007), FALSE), button);

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    HWND popup = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (popup = FindOpenPopupMenu()) != nullptr; }, 5s));
    const Captions offered = e2e::Captions(ReadOpenMenu(popup));
    ASSERT_GE(offered.size(), 5u);
    EXPECT_NE(std::find(offered.begin(), offered.end(), L"ラベル プリンター"), offered.end());
    EXPECT_EQ(Captions(offered.end() - 4, offered.end()), (Captions{L"-", L"LPT1", L"LPT2", L"LPT3"}));
    ASSERT_TRUE(m_app.ChooseFromOpenMenu(L"ラベル プリンター"));
    EXPECT_TRUE(WaitFor([&] { return m_app.ItemText(1007) == L"ラベル プリンター"; }, 5s));
}

}  // namespace
