// One copy per section: the object a copy holds, tried in this process with
// sections the registry takes for one or for two, then real copies of
// Varnow.exe; and the restart registration that brings a copy back.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "app/SectionCopy.h"
#include "framework/Handles.h"
#include "tests/wine/VarnowDriver.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

TEST(SectionCopy, OneCopyPerSectionAsTheRegistryNamesIt) {
    const std::string longName(400, 'L');
    const std::string label = "\x83\x89\x83\x78\x83\x8b";  // ラベル in code page 932
    struct Case {
        std::string first, second;
        bool same;
    };
    const Case cases[] = {
        {"Copy_A", "Copy_A", true},    {"Copy_A", "cOPY_a", true},   {"Copy_A", "Copy_A ", false},
        {"Copy\\A", "Copy\\A", true},  {"Copy\\A", "Copy_A", false}, {"Copy\\A", "Copy/A", false},
        {label, label, true},          {label, label + "2", false},  {longName, longName, true},
        {longName, longName + "x", false},
    };
    for (const Case& c : cases) {
        const SectionCopy first(c.first);
        ASSERT_TRUE(first.IsOnlyCopy()) << c.first;
        const SectionCopy second(c.second);
        EXPECT_EQ(second.IsOnlyCopy(), !c.same) << c.first << " / " << c.second;
    }
}

class SecondCopy : public ::testing::Test {
protected:
    std::unique_ptr<ProfileSection> Section(const char* name, int iconic = 0) {
        auto section = std::make_unique<ProfileSection>(name);
        section->SetString("Findpos", ToAcp(MakeTempFolder(Widen(name))));
        section->SetInt("Iconic", iconic);
        return section;
    }
};

// It ends at once, before it writes a setting, and brings the first copy's
// window forward; another section runs beside them.
TEST_F(SecondCopy, EndsAtOnceAndShowsTheFirstCopy) {
    const auto shown = Section("Copy_Shown");
    Varnow first;
    ASSERT_TRUE(first.Start(L"Copy_Shown", L"Copy_Shown"));
    const auto otherSection = Section("Copy_Other");
    Varnow other;
    ASSERT_TRUE(other.Start(L"Copy_Other", L"Copy_Other"));
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other.Window(); }, 5s));

    for (const wchar_t* section : {L"Copy_Shown", L"COPY_SHOWN"}) {
        Varnow second;
        ASSERT_TRUE(second.Launch(section));
        EXPECT_TRUE(second.HasExited(5000)) << section;
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == first.Window(); }, 3s)) << section;
        SetForegroundWindow(other.Window());
    }
    EXPECT_FALSE(first.HasExited());
    EXPECT_FALSE(other.HasExited());
    DWORD type = 0;
    std::string bytes;
    EXPECT_FALSE(shown->Read("Priority", &type, &bytes));  // nothing stored before an exit
}

// Whether it started there or the operator put it there.
TEST_F(SecondCopy, LeavesAFirstCopyInTheTrayThere) {
    for (const bool startsHidden : {true, false}) {
        const auto hidden = Section("Copy_Hidden", startsHidden ? 1 : 0);
        Varnow first;
        ASSERT_TRUE(first.Start(L"Copy_Hidden", L"Copy_Hidden"));
        if (!startsHidden) {
            ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(first.Window()) != FALSE; }, 10s));
            first.PostCommand(32777);  // the tray menu's Hide
        }
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(first.Window()); }, 10s));
        Varnow second;
        ASSERT_TRUE(second.Launch(L"Copy_Hidden"));
        EXPECT_TRUE(second.HasExited(5000)) << startsHidden;
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(IsWindowVisible(first.Window())) << startsHidden;
        EXPECT_FALSE(first.HasExited()) << startsHidden;
    }
}

// Wine restarts nothing, but it logs the calls of a program started with its
// log on: a copy is started from a shell for that, with the log in a file.
class RestartRegistration : public SecondCopy {
protected:
    HWND StartLogged(const char* section, const std::wstring& log) {
        const std::string script = "WINEDEBUG=-all,fixme+process exec wine \\\"$0\\\" " + std::string(section) +
                                   " 2>\\\"$1\\\"";
        if (!StartLinuxProgram("/bin/sh", {"-c", script, UnixPath(BinFolder() + L"\\Varnow.exe"), UnixPath(log)}))
            return nullptr;
        HWND window = nullptr;
        WaitFor([&] { return (window = FindWindowW(L"#32770", Widen(section).c_str())) != nullptr; }, 30s);
        return window;
    }
};

// The operator's exit withdraws the registration; Windows ending the session
// does not, and the settings are stored before the process can be ended.
TEST_F(RestartRegistration, MadeWithTheSectionAndWithdrawnOnlyByTheOperator) {
    for (const bool operatorExits : {true, false}) {
        const auto section = Section("Copy_Restart");
        const std::wstring log = MakeTempFolder(L"restart") + L"\\wine.log";
        const HWND window = StartLogged("Copy_Restart", log);
        ASSERT_TRUE(window) << operatorExits;
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        const UniqueHandle<KernelHandleTraits> handle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process));
        ASSERT_TRUE(handle);
        if (operatorExits) {
            PostMessageW(window, WM_COMMAND, 32773, 0);  // the tray menu's Exit
        } else {
            DWORD_PTR agrees = 0;
            SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &agrees);
            EXPECT_TRUE(agrees);
            SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 5000, nullptr);
            DWORD type = 0;
            std::string bytes;
            EXPECT_TRUE(section->Read("Priority", &type, &bytes));
            TerminateProcess(handle.get(), 0);  // as Windows does once the session ends
        }
        EXPECT_EQ(WaitForSingleObject(handle.get(), 15000), WAIT_OBJECT_0);
        const std::string written = ReadFileBytes(log);
        EXPECT_NE(written.find("RegisterApplicationRestart (L\"Copy_Restart\",0)"), std::string::npos)
            << written;
        EXPECT_EQ(written.find("UnregisterApplicationRestart") != std::string::npos, operatorExits) << written;
    }
}

}  // namespace
