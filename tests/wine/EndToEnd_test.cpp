// The relay end to end: a real Varnow.exe under Wine, real job files, and the
// bytes that arrive at LPT1.
#include <gtest/gtest.h>

#include <thread>

#include "tests/wine/EndToEnd.h"
#include "tests/wine/PlatformTestSupport.h"

using namespace e2e;
using namespace e2e_fixture;
using namespace std::chrono_literals;

namespace {

TEST_F(RelayEndToEnd, OneJobWaitsForItsCompanionThenArrivesWithHeaderAndFooter) {
    ProfileSection section("E2E_Road");
    std::wstring folder = MakeTempFolder(L"road");
    std::wstring extras = MakeTempFolder(L"road-extras");
    const std::string header = "<HEAD>\r\n", footer = "\f<FOOT>";
    const std::string job = Payload("JOB1", 1241);
    ASSERT_TRUE(WriteFileBytes(extras + L"\\head.bin", header));
    ASSERT_TRUE(WriteFileBytes(extras + L"\\foot.bin", footer));
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Header", ToAcp(extras + L"\\head.bin"));
    section.SetString("Footer", ToAcp(extras + L"\\foot.bin"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\JOB1.OFI", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\JOB1.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Road", L"E2E_Road"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(FileExists(folder + L"\\JOB1.GLF"));
    EXPECT_EQ(ReadFileBytes(m_capture), "");

    ASSERT_TRUE(DeleteFileW((folder + L"\\JOB1.OFI").c_str()));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\JOB1.GLF"); }, 5s));
    EXPECT_EQ(SettledCapture(), header + job + footer);
    // The display refresh comes every 5 seconds.
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1009) == L"1,256"; }, 6s));
    EXPECT_EQ(app.ItemText(1008), L"1");
}

TEST_F(RelayEndToEnd, JobHeldOpenByItsProducerIsNotTouchedUntilClosed) {
    ProfileSection section("E2E_Held");
    std::wstring folder = MakeTempFolder(L"held");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("HELD", 700);
    std::wstring path = folder + L"\\HELD.GLF";
    HANDLE producer = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(producer, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(producer, job.data(), static_cast<DWORD>(job.size()), &put, nullptr));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Held", L"E2E_Held"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(ReadFileBytes(m_capture), "");
    CloseHandle(producer);
    EXPECT_TRUE(WaitFor([&] { return !FileExists(path); }, 5s));
    EXPECT_EQ(SettledCapture(), job);
}

TEST_F(RelayEndToEnd, CancelDuringCompanionWaitKeepsTheJobForALaterRelay) {
    ProfileSection section("E2E_Cancel");
    std::wstring folder = MakeTempFolder(L"cancel");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("CANCEL", 300);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\C1.OFI", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\C1.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Cancel", L"E2E_Cancel"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    app.PostCommand(32772);  // the tray menu's cancel item
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 5s));
    EXPECT_TRUE(FileExists(folder + L"\\C1.GLF"));
    EXPECT_EQ(ReadFileBytes(m_capture), "");

    // The next search takes the job up again; this time its companion goes.
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 5s));
    ASSERT_TRUE(DeleteFileW((folder + L"\\C1.OFI").c_str()));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\C1.GLF"); }, 5s));
    EXPECT_EQ(SettledCapture(), job);
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1008) == L"2"; }, 6s));
}

TEST_F(RelayEndToEnd, TrayExitWhileSearchingSavesEverySetting) {
    ProfileSection section("E2E_Exit");
    std::wstring folder = MakeTempFolder(L"exit");
    section.SetString("Findpos", ToAcp(folder));
    section.SetInt("Priority", 5);
    section.SetInt("RecordDays", 7);

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Exit", L"E2E_Exit"));
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 5s));
    PostMessageW(app.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(app.Window()); }, 5s));
    std::vector<std::wstring> items = app.OpenTrayMenu();
    ASSERT_FALSE(items.empty());
    ASSERT_TRUE(app.ChooseFromOpenMenu(L"終了"));
    ASSERT_TRUE(app.HasExited(10000));

    struct Expected {
        const char* name;
        DWORD type;
        std::string bytes;
    };
    const DWORD one = 1, five = 5, seven = 7;
    const Expected expected[] = {
        {"Iconic", REG_DWORD, std::string(reinterpret_cast<const char*>(&one), 4)},
        {"Findpos", REG_SZ, ToAcp(folder) + '\0'},
        {"Output", REG_SZ, std::string("LPT1") + '\0'},
        {"Footer", REG_SZ, std::string(1, '\0')},
        {"Header", REG_SZ, std::string(1, '\0')},
        {"Target", REG_SZ, std::string("*.GLF") + '\0'},
        {"Waiting", REG_SZ, std::string(".OFI") + '\0'},
        {"Priority", REG_DWORD, std::string(reinterpret_cast<const char*>(&five), 4)},
        {"Record", REG_DWORD, std::string(reinterpret_cast<const char*>(&one), 4)},
        {"RecordDays", REG_DWORD, std::string(reinterpret_cast<const char*>(&seven), 4)},
    };
    for (const auto& value : expected) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_TRUE(section.Read(value.name, &type, &bytes)) << value.name;
        EXPECT_EQ(type, value.type) << value.name;
        EXPECT_EQ(bytes, value.bytes) << value.name;
    }
}

TEST_F(RelayEndToEnd, TrayExitWhileOutputtingCancelsAndTheWindowStays) {
    ProfileSection section("E2E_ExitBusy");
    std::wstring folder = MakeTempFolder(L"exitbusy");
    section.SetString("Findpos", ToAcp(folder));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\B1.OFI", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\B1.GLF", Payload("BUSY", 100)));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_ExitBusy", L"E2E_ExitBusy"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    app.OpenTrayMenu();
    ASSERT_TRUE(app.ChooseFromOpenMenu(L"終了"));
    // Searching again shows for one poll only: the next takes the job up again.
    EXPECT_TRUE(app.WaitForRunCaption(kStopSearch, 4s));
    EXPECT_FALSE(app.HasExited(3000));
    EXPECT_TRUE(FileExists(folder + L"\\B1.GLF"));
    EXPECT_EQ(ReadFileBytes(m_capture), "");
}

TEST_F(RelayEndToEnd, TwoCopiesWithTheirOwnSectionsRelayOnlyTheirOwnJobs) {
    ProfileSection first("E2E_Left"), second("E2E_Right");
    std::wstring left = MakeTempFolder(L"left"), right = MakeTempFolder(L"right");
    std::wstring rightOut = MakeTempFolder(L"right-out") + L"\\printer.out";
    first.SetString("Findpos", ToAcp(left));
    second.SetString("Findpos", ToAcp(right));
    second.SetString("Output", ToAcp(rightOut));
    const std::string leftJob = Payload("LEFT", 400), rightJob = Payload("RIGHT", 500);

    Varnow a, b;
    ASSERT_TRUE(a.Start(L"E2E_Left", L"E2E_Left"));
    ASSERT_TRUE(b.Start(L"E2E_Right", L"E2E_Right"));
    ASSERT_TRUE(WriteFileBytes(left + L"\\L.GLF", leftJob));
    ASSERT_TRUE(WriteFileBytes(right + L"\\R.GLF", rightJob));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(left + L"\\L.GLF"); }, 10s));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(right + L"\\R.GLF"); }, 10s));
    EXPECT_EQ(SettledCapture(), leftJob);
    EXPECT_EQ(ReadFileBytes(rightOut), rightJob);

    ASSERT_TRUE(a.Exit());
    ASSERT_TRUE(b.Exit());
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(first.Read("Output", &type, &bytes));
    EXPECT_EQ(bytes, std::string("LPT1") + '\0');
    ASSERT_TRUE(second.Read("Output", &type, &bytes));
    EXPECT_EQ(bytes, ToAcp(rightOut) + '\0');
    ASSERT_TRUE(first.Read("Findpos", &type, &bytes));
    EXPECT_EQ(bytes, ToAcp(left) + '\0');
    ASSERT_TRUE(second.Read("Findpos", &type, &bytes));
    EXPECT_EQ(bytes, ToAcp(right) + '\0');
}

// A Japanese system cannot hold the Hangul letter: it must not become "?",
// which would match, relay and delete A.GLF.
TEST_F(RelayEndToEnd, TargetTypedOutsideTheCodePageMatchesNoOtherJob) {
    ProfileSection section("E2E_Hangul");
    std::wstring folder = MakeTempFolder(L"hangul");
    section.SetString("Findpos", ToAcp(folder));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Hangul", L"E2E_Hangul"));
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 5s));
    app.PostCommand(IDOK);
    ASSERT_TRUE(app.WaitForRunCaption(kStartSearch, 5s));
    SendMessageW(GetDlgItem(app.Window(), 1000), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(L"\uD55C.GLF"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\A.GLF", Payload("A", 100)));
    app.PostCommand(IDOK);
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 5s));
    // The refresh shows what was taken; three search ticks pass meanwhile.
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1000) == L"|.GLF"; }, 7s));
    std::this_thread::sleep_for(6s);
    EXPECT_TRUE(FileExists(folder + L"\\A.GLF"));
    EXPECT_EQ(ReadFileBytes(m_capture), "");

    ASSERT_TRUE(app.Exit());
    DWORD type = 0;
    std::string target;
    ASSERT_TRUE(section.Read("Target", &type, &target));
    EXPECT_EQ(target.find('?'), std::string::npos) << target;
}

TEST_F(RelayEndToEnd, IconicStartEndsHiddenAndALeftClickBringsItBack) {
    ProfileSection section("E2E_Iconic");
    section.SetString("Findpos", ToAcp(MakeTempFolder(L"iconic")));
    section.SetInt("Iconic", 1);

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Iconic", L"E2E_Iconic"));
    // Long enough for the modal loop's first idle show and the first refresh.
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(IsWindowVisible(app.Window()));
    EXPECT_TRUE(IsIconic(app.Window()));

    app.TrayClick(WM_LBUTTONUP);
    EXPECT_TRUE(WaitFor(
        [&] { return IsWindowVisible(app.Window()) && !IsIconic(app.Window()); }, 5s));
}

TEST_F(RelayEndToEnd, BurstOfJobsIsRelayedEachExactlyOnce) {
    ProfileSection section("E2E_Burst");
    std::wstring folder = MakeTempFolder(L"burst");
    section.SetString("Findpos", ToAcp(folder));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Burst", L"E2E_Burst"));
    const int kJobs = 5;
    std::string expectedBytes;
    for (int i = 0; i < kJobs; ++i) {
        std::string job = Payload("BURST" + std::to_string(i) + "#", 300 + 97 * i);
        expectedBytes += job;
        ASSERT_TRUE(WriteFileBytes(folder + L"\\J" + std::to_wstring(i) + L".GLF", job));
    }
    EXPECT_TRUE(WaitFor(
        [&] {
            for (int i = 0; i < kJobs; ++i)
                if (FileExists(folder + L"\\J" + std::to_wstring(i) + L".GLF")) return false;
            return true;
        },
        std::chrono::seconds(6 * kJobs)));
    std::string capture = SettledCapture();
    EXPECT_EQ(capture.size(), expectedBytes.size());
    for (int i = 0; i < kJobs; ++i)
        EXPECT_EQ(CountOf(capture, "BURST" + std::to_string(i) + "#"), 1u) << "job " << i;
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1008) == std::to_wstring(kJobs); }, 6s));
}

TEST_F(RelayEndToEnd, CancelWhileTheDeviceStallsKeepsTheWindowResponsive) {
    ProfileSection section("E2E_Stall");
    std::wstring folder = MakeTempFolder(L"stall");
    section.SetString("Findpos", ToAcp(folder));
    // More than a pipe holds, so the worker blocks in a write while the reader stalls.
    const std::string job = Payload("STALL", 256 * 1024);
    ASSERT_TRUE(WriteFileBytes(m_capture + L".stall", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\S.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Stall", L"E2E_Stall"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    std::this_thread::sleep_for(1s);
    app.PostCommand(32772);
    std::this_thread::sleep_for(1s);

    // The window answers messages and keeps refreshing while the cancel waits.
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(app.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(app.Window(), IDOK)));
    EXPECT_EQ(app.RunCaption(), kCancelOutput);
    EXPECT_TRUE(WaitFor([&] { return !app.ItemText(1009).empty() && app.ItemText(1009) != L"0"; },
                        8s));

    // Once the device moves again the worker sees the abort and the job stays.
    DeleteFileW((m_capture + L".stall").c_str());
    EXPECT_TRUE(app.WaitForRunCaption(kStopSearch, 10s));
    EXPECT_TRUE(FileExists(folder + L"\\S.GLF"));
    EXPECT_LT(ReadFileBytes(m_capture).size(), job.size());
}

// The keyboard focus of the window's thread, as the system would deliver keys.
HWND KeyboardFocus(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

void PressKey(HWND window, WPARAM key) {
    HWND target = KeyboardFocus(window);
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// A cancel disables the run button that holds the focus; the keys must still
// reach the window meanwhile, and the focus returns to the button after.
TEST_F(RelayEndToEnd, KeyboardReachesTheWindowDuringAndAfterACancel) {
    ProfileSection section("E2E_Keys");
    std::wstring folder = MakeTempFolder(L"keys");
    section.SetString("Findpos", ToAcp(folder));
    ASSERT_TRUE(WriteFileBytes(m_capture + L".stall", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\K.GLF", Payload("KEYS", 256 * 1024)));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Keys", L"E2E_Keys"));
    ASSERT_TRUE(app.WaitForRunCaption(kCancelOutput, 8s));
    HWND window = app.Window();
    HWND run = GetDlgItem(window, IDOK);
    PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run), TRUE);
    ASSERT_TRUE(WaitFor([&] { return KeyboardFocus(window) == run; }, 5s));
    PressKey(window, VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(run); }, 5s));
    HWND lent = KeyboardFocus(window);
    EXPECT_TRUE(lent && lent != run && IsWindowEnabled(lent) && GetParent(lent) == window);

    DeleteFileW((m_capture + L".stall").c_str());
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 10s));
    // Out of the search's way before its next tick, two seconds on.
    EXPECT_TRUE(MoveFileW((folder + L"\\K.GLF").c_str(), (folder + L"\\K.kept").c_str()));
    EXPECT_TRUE(WaitFor([&] { return KeyboardFocus(window) == run; }, 5s));
    PressKey(window, VK_RETURN);
    ASSERT_TRUE(app.WaitForRunCaption(kStartSearch, 5s));
    PressKey(window, VK_ESCAPE);
    EXPECT_TRUE(app.HasExited(10000));
}

TEST_F(RelayEndToEnd, ReadOnlyJobIsRelayedOnceAndDeleted) {
    ProfileSection section("E2E_ReadOnly");
    std::wstring folder = MakeTempFolder(L"readonly");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("READONLY", 500);
    std::wstring path = folder + L"\\RO.GLF";
    ASSERT_TRUE(WriteFileBytes(path, job));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_ReadOnly", L"E2E_ReadOnly"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(path); }, 10s));
    EXPECT_EQ(SettledCapture(), job);
}

TEST_F(RelayEndToEnd, JobThatStaysAfterItsDeleteIsRelayedOnceEvenAcrossARestart) {
    ProfileSection section("E2E_Immutable");
    std::wstring folder = MakeTempFolder(L"immutable");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("IMMUTABLE", 500), changed = Payload("CHANGED", 700);
    std::wstring path = folder + L"\\IM.GLF";
    ASSERT_TRUE(WriteFileBytes(path, job));
    ImmutableFlag flag(path);
    ASSERT_TRUE(flag.Set(true));

    {
        Varnow app;
        ASSERT_TRUE(app.Start(L"E2E_Immutable", L"E2E_Immutable"));
        ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(m_capture).size() >= job.size(); }, 10s));
        std::this_thread::sleep_for(15s);
        EXPECT_EQ(SettledCapture(), job);
        EXPECT_EQ(app.ItemText(1008), L"1");
        ASSERT_TRUE(app.Exit());
    }
    Varnow again;
    ASSERT_TRUE(again.Start(L"E2E_Immutable", L"E2E_Immutable"));
    // Three searches, and the display refresh after them.
    std::this_thread::sleep_for(7s);
    EXPECT_EQ(ReadFileBytes(m_capture), job);
    EXPECT_EQ(again.ItemText(1008), L"0");

    ASSERT_TRUE(flag.Set(false));
    ASSERT_TRUE(WriteFileBytes(path, changed));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(path); }, 10s));
    EXPECT_EQ(SettledCapture(), job + changed);
}

// A job the program cannot open by the name it lists (a character outside the
// code page) is matched by the first pattern, so every search would take it
// first; the job behind it must still go out, and it must stay.
TEST_F(RelayEndToEnd, JobThatCannotBeOpenedIsPassedOverAndTheRestFlow) {
    ProfileSection section("E2E_Unopenable");
    std::wstring folder = MakeTempFolder(L"unopenable");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Target", "*.URG;*.GLF");
    const wine_test::WideFile hangul(folder + L"\\\uD55C.URG", "hangul");
    ASSERT_TRUE(hangul.Written());
    const std::string job = Payload("NEXT", 500);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\NEXT.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Unopenable", L"E2E_Unopenable"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\NEXT.GLF"); }, 10s));
    EXPECT_EQ(SettledCapture(), job);
    EXPECT_TRUE(hangul.Exists());
}

// The output and the header lie in the search folder and match its pattern.
TEST_F(RelayEndToEnd, OutputAndHeaderInTheFolderAreNeverTakenAsJobs) {
    ProfileSection section("E2E_OwnFiles");
    std::wstring folder = MakeTempFolder(L"ownfiles");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Target", "*");
    section.SetString("Output", ToAcp(folder + L"\\OUT.PRN"));
    section.SetString("Header", ToAcp(folder + L"\\HEAD.TXT"));
    const std::string header = "<HEAD>", job = Payload("OWN", 300);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\HEAD.TXT", header));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\OUT.PRN", "earlier output"));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_OwnFiles", L"E2E_OwnFiles"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\J.GLF"); }, 10s));
    // Two more search rounds, in which only the output and the header are there.
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(ReadFileBytes(folder + L"\\OUT.PRN"), header + job);
    EXPECT_EQ(ReadFileBytes(folder + L"\\HEAD.TXT"), header);
    EXPECT_EQ(app.ItemText(1008), L"1");
}

}  // namespace
