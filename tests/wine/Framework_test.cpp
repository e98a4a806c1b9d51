// The framework layer under the windows: text conversion at the window
// boundary, handle owners, the wait cursor, data exchange and the
// application's command table.
#include <gtest/gtest.h>

#include <windows.h>

#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "framework/Text.h"
#include "framework/WaitCursor.h"
#include "framework/WinApp.h"

namespace {

// "検索位置" in Shift-JIS.
const char kSearchLocationSjis[] = "\x8C\x9F\x8D\xF5\x88\xCA\x92\x75";

class Cp932 : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page";
    }
};

TEST_F(Cp932, AnsiAndUtf8MeetInTheSameWideText) {
    EXPECT_EQ(AnsiToWide(kSearchLocationSjis), Utf8ToWide(u8"検索位置"));
    EXPECT_EQ(WideToAnsi(L"検索位置"), kSearchLocationSjis);
    EXPECT_EQ(WideToAnsi(AnsiToWide("C:\\OUT\\JOB1.GLF")), "C:\\OUT\\JOB1.GLF");
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(WideToAnsi(L""), "");
}

// "?" would be a wildcard and best fit "e" another file's name: such a
// character must come out as something no file name holds.
TEST_F(Cp932, TextTheCodePageCannotHoldBecomesNoWildcardOrLookAlike) {
    EXPECT_EQ(WideToAnsi(L"\uD55C.GLF"), "|.GLF");
    EXPECT_EQ(WideToAnsi(L"caf\u00E9.GLF"), "caf|.GLF");
    // Each half of the surrogate pair may stand alone.
    const std::string emoji = WideToAnsi(L"\U0001F600.GLF");
    ASSERT_GT(emoji.size(), 4u);
    EXPECT_EQ(emoji, std::string(emoji.size() - 4, '|') + ".GLF");
}

TEST_F(Cp932, CutNeverSplitsADoubleByteCharacter) {
    EXPECT_EQ(CutAtByteLimit(kSearchLocationSjis, 8), kSearchLocationSjis);
    EXPECT_EQ(CutAtByteLimit(kSearchLocationSjis, 7), std::string(kSearchLocationSjis, 6));
    EXPECT_EQ(CutAtByteLimit(kSearchLocationSjis, 1), "");
    EXPECT_EQ(CutAtByteLimit(std::string("a") + kSearchLocationSjis, 2), "a");
    EXPECT_EQ(CutAtByteLimit(std::string("a") + kSearchLocationSjis, 3), std::string("a\x8C\x9F"));
    // A trailing lone lead byte counts as one byte of its own.
    EXPECT_EQ(CutAtByteLimit("ab\x8C", 3), "ab\x8C");
    EXPECT_EQ(CutAtByteLimit(std::string(300, 'x'), 259).size(), 259u);
}

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandle, ClosesOnceAndMovesOwnership) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        UniqueKernelHandle first(raw);
        UniqueKernelHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), raw);
        UniqueKernelHandle third;
        third = std::move(second);
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(UniqueHandle, FailedOpensAreNeverClosed) {
    UniqueKernelHandle file(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(file);
    UniqueFindHandle find;
    EXPECT_FALSE(find);
}

TEST(WaitCursorTest, NestedBeginsNeedAsManyEnds) {
    WaitCursor cursor;
    cursor.Begin();
    cursor.Begin();
    cursor.End();
    EXPECT_TRUE(cursor.IsActive());
    cursor.End();
    EXPECT_FALSE(cursor.IsActive());
    cursor.End();  // one End too many must not leave the count below zero
    cursor.Begin();
    EXPECT_TRUE(cursor.IsActive());
    cursor.End();
}

// A plain window standing in for a dialog, with one edit control.
class Exchange : public ::testing::Test {
protected:
    static constexpr int kEditId = 1007;

    void SetUp() override {
        m_parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(m_parent, nullptr);
        m_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 150, 20, m_parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), nullptr,
                                 nullptr);
        ASSERT_NE(m_edit, nullptr);
        m_dialog.m_hWnd = m_parent;
    }
    void TearDown() override {
        if (m_parent) DestroyWindow(m_parent);
        m_dialog.m_hWnd = nullptr;
    }

    std::pair<DWORD, DWORD> Selection() const {
        DWORD start = 0, end = 0;
        SendMessageW(m_edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }

    CDialog m_dialog{102, nullptr};
    HWND m_parent = nullptr;
    HWND m_edit = nullptr;
};

TEST_F(Exchange, LoadLeavesAnUnchangedEditAlone) {
    SetWindowTextW(m_edit, L"LPT1");
    SendMessageW(m_edit, EM_SETSEL, 1, 3);
    std::string value = "LPT1";
    CDataExchange load(m_dialog, false);
    DDX_Text(load, kEditId, value);
    EXPECT_EQ(Selection(), std::make_pair(DWORD{1}, DWORD{3}));

    value = "LPT2";
    DDX_Text(load, kEditId, value);
    wchar_t text[16] = L"";
    GetWindowTextW(m_edit, text, 16);
    EXPECT_STREQ(text, L"LPT2");
    EXPECT_FALSE(load.Failed());
}

TEST_F(Exchange, SaveReadsTheEditAsAnAnsiString) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page";
    SetWindowTextW(m_edit, L"C:\\検索位置");
    std::string value;
    CDataExchange save(m_dialog, true);
    DDX_Text(save, kEditId, value);
    EXPECT_EQ(value, std::string("C:\\") + kSearchLocationSjis);
}

TEST_F(Exchange, ControlsBindOnceAndMissingOnesAreReported) {
    CEdit edit;
    CDataExchange dx(m_dialog, false);
    DDX_Control(dx, kEditId, edit);
    EXPECT_EQ(edit.m_hWnd, m_edit);
    edit.m_hWnd = reinterpret_cast<HWND>(1);
    DDX_Control(dx, kEditId, edit);  // already bound: left as it is
    EXPECT_EQ(edit.m_hWnd, reinterpret_cast<HWND>(1));
    EXPECT_FALSE(dx.Failed());

    CEdit missing;
    std::string text;
    DDX_Control(dx, 4242, missing);
    DDX_Text(dx, 4242, text);
    EXPECT_EQ(missing.m_hWnd, nullptr);
    EXPECT_TRUE(dx.Failed());
}

class CountingApp : public CWinApp {
public:
    BOOL InitInstance() override { return FALSE; }
    void OnCount() { ++m_count; }
    int m_count = 0;

protected:
    AppCommandTable GetCommandTable() const override {
        static const AppCommandEntry entries[] = {
            {ID_HELP, static_cast<void (CWinApp::*)()>(&CountingApp::OnCount)},
        };
        return {entries, 1};
    }
};

TEST(Application, RoutesOnlyTheCommandsOfItsTable) {
    CountingApp app;
    EXPECT_EQ(CWinApp::Current(), &app);
    EXPECT_TRUE(app.HandlesCommand(ID_HELP));
    EXPECT_FALSE(app.HandlesCommand(IDOK));
    EXPECT_TRUE(app.RouteCommand(ID_HELP));
    EXPECT_FALSE(app.RouteCommand(32773));
    EXPECT_EQ(app.m_count, 1);
}

TEST(Application, HelpFileSitsBesideTheExecutable) {
    CountingApp app;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string expected(module);
    expected = expected.substr(0, expected.rfind('.')) + ".HLP";
    EXPECT_EQ(app.HelpFilePath(), expected);
}

TEST(Application, ProfileWithoutRegistryKeyGivesDefaultsAndStoresNothing) {
    CountingApp app;
    EXPECT_EQ(app.GetProfileInt("FrameworkTest", "Priority", 3), 3);
    EXPECT_EQ(app.GetProfileString("FrameworkTest", "Output", "LPT1"), "LPT1");
    EXPECT_FALSE(app.WriteProfileInt("FrameworkTest", "Priority", 5));
    EXPECT_EQ(app.GetProfileInt("FrameworkTest", "Priority", 3), 3);
}

}  // namespace
