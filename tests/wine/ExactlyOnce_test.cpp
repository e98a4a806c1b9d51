// Each job exactly once, whatever lies in the folder or fails beneath it: odd
// names, a second drive letter for one folder, a drive that comes and goes,
// and a folder whose entries cannot be deleted. A real Varnow.exe under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "tests/wine/EndToEnd.h"
#include "tests/wine/PlatformTestSupport.h"

using namespace e2e;
using namespace e2e_fixture;
using namespace std::chrono_literals;

namespace {

using RelayExactlyOnce = RelayEndToEnd;

// A drive letter of the prefix (its dosdevices link) pointing at a folder,
// mapped and unmapped as a network drive comes and goes; always removed.
class DriveLetter {
public:
    DriveLetter(char letter, const std::wstring& target)
        : m_root(std::wstring(1, static_cast<wchar_t>(letter)) + L":\\"),
          m_link(std::string(getenv("WINEPREFIX") ? getenv("WINEPREFIX") : "") + "/dosdevices/" +
                 static_cast<char>(letter + 'a' - 'A') + ":"),
          m_target(UnixPath(target)) {}
    ~DriveLetter() { Unmap(); }
    DriveLetter(const DriveLetter&) = delete;
    DriveLetter& operator=(const DriveLetter&) = delete;

    const std::wstring& Root() const { return m_root; }
    bool Map() const { return Change("/bin/ln", {"-sfn", m_target, m_link}, true); }
    bool Unmap() const { return Change("/bin/rm", {"-f", m_link}, false); }

private:
    bool Change(const char* program, const std::vector<std::string>& arguments, bool mapped) const {
        return !m_target.empty() && StartLinuxProgram(program, arguments) &&
               WaitFor(
                   [&] {
                       return (GetFileAttributesW(m_root.c_str()) != INVALID_FILE_ATTRIBUTES) ==
                              mapped;
                   },
                   10s);
    }

    std::wstring m_root;
    std::string m_link;
    std::string m_target;
};

// Names the code page spells only approximately: "¥" would be listed as "\",
// so "a¥b.GLF" would name b.GLF in a subfolder a, and "..¥OUTSIDE.GLF" a file
// in the parent folder. Neither may be touched, and the job behind them flows.
TEST_F(RelayExactlyOnce, NamesThatSpellAnotherPathNeverReachOutsideTheFolder) {
    ProfileSection section("E2E_OddNames");
    const std::wstring parent = MakeTempFolder(L"oddnames");
    const std::wstring folder = parent + L"\\jobs";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\a").c_str(), nullptr));
    section.SetString("Findpos", ToAcp(folder));
    const std::string inner = Payload("INNER", 300), outside = Payload("OUTSIDE", 300),
                      job = Payload("NEXT", 500);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\a\\b.GLF", inner));
    ASSERT_TRUE(WriteFileBytes(parent + L"\\OUTSIDE.GLF", outside));
    const wine_test::WideFile yen(folder + L"\\a\u00A5b.GLF", "yen");
    const wine_test::WideFile up(folder + L"\\..\u00A5OUTSIDE.GLF", "up");
    ASSERT_TRUE(yen.Written());
    ASSERT_TRUE(up.Written());
    ASSERT_TRUE(WriteFileBytes(folder + L"\\NEXT.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_OddNames", L"E2E_OddNames"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\NEXT.GLF"); }, 10s));
    std::this_thread::sleep_for(5s);  // more searches, and the display refresh
    EXPECT_EQ(SettledCapture(), job);
    EXPECT_EQ(ReadFileBytes(folder + L"\\a\\b.GLF"), inner);
    EXPECT_EQ(ReadFileBytes(parent + L"\\OUTSIDE.GLF"), outside);
    EXPECT_TRUE(yen.Exists());
    EXPECT_TRUE(up.Exists());
    EXPECT_EQ(app.ItemText(1008), L"1");
}

// The header is named through a second drive letter for the search folder:
// spelt differently, it is the same file, never a job.
TEST_F(RelayExactlyOnce, HeaderNamedThroughAnotherDriveLetterIsNeverAJob) {
    ProfileSection section("E2E_TwoLetters");
    const std::wstring folder = MakeTempFolder(L"twoletters");
    DriveLetter second('Y', folder);
    ASSERT_TRUE(second.Map());
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Header", ToAcp(second.Root() + L"HEAD.GLF"));
    const std::string header = "<HEAD>", first = Payload("FIRST", 300),
                      next = Payload("SECOND", 400);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\HEAD.GLF", header));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J1.GLF", first));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_TwoLetters", L"E2E_TwoLetters"));
    ASSERT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\J1.GLF"); }, 10s));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J2.GLF", next));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\J2.GLF"); }, 10s));
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(SettledCapture(), header + first + header + next);
    EXPECT_EQ(ReadFileBytes(folder + L"\\HEAD.GLF"), header);
    EXPECT_EQ(app.ItemText(1008), L"2");
}

// A stuck job on a drive that is not there when the program starts (a network
// drive mapped late at sign-in) or that drops out mid-run is still known when
// the drive comes back: printed once in all.
TEST_F(RelayExactlyOnce, StuckJobStaysKnownWhileItsDriveIsAway) {
    ProfileSection section("E2E_LateDrive");
    const std::wstring folder = MakeTempFolder(L"immutable-latedrive");
    DriveLetter drive('X', folder);
    ASSERT_TRUE(drive.Map());
    section.SetString("Findpos", "X:\\");
    const std::string job = Payload("STUCK", 600);
    const std::wstring path = folder + L"\\STUCK.GLF";
    ASSERT_TRUE(WriteFileBytes(path, job));
    ImmutableFlag flag(path);
    ASSERT_TRUE(flag.Set(true));
    DWORD type = 0;
    std::string stored;
    {
        Varnow app;
        ASSERT_TRUE(app.Start(L"E2E_LateDrive", L"E2E_LateDrive"));
        ASSERT_TRUE(WaitFor(
            [&] { return section.Read("X:\\STUCK.GLF", &type, &stored, "Undeletable"); }, 15s));
        ASSERT_TRUE(drive.Unmap());  // mid-run
        std::this_thread::sleep_for(7s);
        ASSERT_TRUE(drive.Map());
        std::this_thread::sleep_for(7s);
        EXPECT_EQ(app.ItemText(1008), L"1");
        ASSERT_TRUE(drive.Unmap());
        ASSERT_TRUE(app.Exit());
    }
    Varnow again;  // at sign-in, before the drive is back
    ASSERT_TRUE(again.Start(L"E2E_LateDrive", L"E2E_LateDrive"));
    std::this_thread::sleep_for(7s);
    ASSERT_TRUE(drive.Map());
    std::this_thread::sleep_for(7s);
    EXPECT_EQ(SettledCapture(), job);
    EXPECT_EQ(again.ItemText(1008), L"0");
    EXPECT_TRUE(section.Read("X:\\STUCK.GLF", &type, &stored, "Undeletable"));
}

// In a folder whose entries cannot be deleted, a stuck job written again in
// place, with its old size and last-write time put back (a copy over it keeps
// the template's time), is a new job: printed once more, then passed over.
TEST_F(RelayExactlyOnce, StuckJobWrittenAgainInPlaceIsPrintedOnceMore) {
    ProfileSection section("E2E_Rewritten");
    const std::wstring folder = MakeTempFolder(L"immutable-rewritten");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("LABEL1", 640), again = Payload("LABEL2", 640);
    const std::wstring path = folder + L"\\LABEL.GLF";
    ASSERT_TRUE(WriteFileBytes(path, job));
    FILETIME written{};
    {
        const UniqueKernelHandle file(
            CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(GetFileTime(file.get(), nullptr, nullptr, &written));
    }
    ImmutableFlag flag(folder, true);
    ASSERT_TRUE(flag.Set(true));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Rewritten", L"E2E_Rewritten"));
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(m_capture).size() >= job.size(); }, 10s));
    std::this_thread::sleep_for(5s);
    ASSERT_EQ(SettledCapture(), job);
    ASSERT_TRUE(FileExists(path));

    ASSERT_TRUE(WriteFileBytes(path, again));
    {
        const UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &written));
    }
    EXPECT_TRUE(
        WaitFor([&] { return ReadFileBytes(m_capture).size() >= job.size() + again.size(); }, 10s));
    std::this_thread::sleep_for(7s);
    EXPECT_EQ(SettledCapture(), job + again);
    EXPECT_EQ(app.ItemText(1008), L"2");
    ASSERT_TRUE(flag.Set(false));
}

// A producer that writes the next JOB.GLF the moment the last one is gone:
// the file system may give the new job the old one's index (ext4 behind Wine,
// FAT by its directory slot), and a copy of one template keeps its size and
// last-write time. Each is a new job, printed once; none is taken for the old
// one that "stayed".
TEST_F(RelayExactlyOnce, ANameReusedAtOnceIsANewJobEachTime) {
    ProfileSection section("E2E_Reused");
    const std::wstring folder = MakeTempFolder(L"reused");
    section.SetString("Findpos", ToAcp(folder));
    const std::wstring path = folder + L"\\JOB.GLF";
    constexpr int kJobs = 30;
    std::string expected;
    FILETIME templateTime{};
    const auto write = [&](int i) {
        char tag[16];
        snprintf(tag, sizeof tag, "JOB%02d", i);
        const std::string payload = Payload(tag, 700);  // one size for all, as copies of a template
        expected += payload;
        if (!WriteFileBytes(path, payload)) return false;
        const UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        // Every other job keeps the template's last-write time.
        return file && (i % 2 == 0 ? GetFileTime(file.get(), nullptr, nullptr, &templateTime) != FALSE
                                   : SetFileTime(file.get(), nullptr, nullptr, &templateTime) != FALSE);
    };
    ASSERT_TRUE(write(0));
    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Reused", L"E2E_Reused"));
    for (int i = 1; i < kJobs; ++i) {
        ASSERT_TRUE(WaitFor([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }, 30s, 1ms))
            << "job " << i - 1 << " stayed: " << ToAcp(StatusText(app));
        ASSERT_TRUE(write(i));
    }
    EXPECT_TRUE(WaitFor([&] { return !FileExists(path); }, 30s));
    EXPECT_EQ(SettledCapture(), expected);
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1008) == std::to_wstring(kJobs); }, 10s));
    DWORD type = 0;
    std::string stored;
    EXPECT_FALSE(section.Read(ToAcp(path).c_str(), &type, &stored, "Undeletable"));
    EXPECT_EQ(StatusText(app).find(L"削除できません"), std::wstring::npos);
}

// What only looks like a job beside real ones: a link to a file outside the
// folder, a pipe (whose open would block the relay) and device names, made
// where Windows programs cannot make them. The jobs flow, nothing outside is
// touched, and the status line names what was passed over.
TEST_F(RelayExactlyOnce, LinksPipesAndDeviceNamesArePassedOverAndNamed) {
    ProfileSection section("E2E_NotJobs");
    const std::wstring parent = MakeTempFolder(L"notjobs");
    const std::wstring folder = parent + L"\\jobs";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    section.SetString("Findpos", ToAcp(folder));
    const std::string target = Payload("TARGET", 300), first = Payload("FIRST", 400), second = Payload("SECOND", 500);
    ASSERT_TRUE(WriteFileBytes(parent + L"\\TARGET.GLF", target));
    const std::string unixFolder = UnixPath(folder);
    ASSERT_FALSE(unixFolder.empty());
    ASSERT_TRUE(StartLinuxProgram("/bin/ln", {"-s", UnixPath(parent + L"\\TARGET.GLF"), unixFolder + "/LINK.GLF"}));
    ASSERT_TRUE(StartLinuxProgram("/usr/bin/mkfifo", {unixFolder + "/PIPE.GLF"}));
    ASSERT_TRUE(StartLinuxProgram("/usr/bin/touch", {unixFolder + "/NUL.GLF", unixFolder + "/com1.GLF",
                                                     unixFolder + "/LPT1.GLF", unixFolder + "/Aux.glf",
                                                     unixFolder + "/PRN.GLF"}));
    // Listed, not looked at: what Wine makes of a pipe's attributes is no matter here.
    const auto listed = [&](const wchar_t* name) {
        WIN32_FIND_DATAW entry;
        const HANDLE find = FindFirstFileW((folder + L"\\" + name).c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        return find != INVALID_HANDLE_VALUE;
    };
    ASSERT_TRUE(WaitFor([&] { return listed(L"LINK.GLF") && listed(L"PIPE.GLF") && listed(L"PRN.GLF"); }, 10s));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\FIRST.GLF", first));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_NotJobs", L"E2E_NotJobs"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\FIRST.GLF"); }, 10s))
        << ToAcp(StatusText(app));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\SECOND.GLF", second));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\SECOND.GLF"); }, 10s))
        << ToAcp(StatusText(app));
    EXPECT_TRUE(WaitFor([&] { return StatusText(app).find(L"開けないファイルがあります") != std::wstring::npos; }, 10s))
        << ToAcp(StatusText(app));
    EXPECT_EQ(SettledCapture(), first + second);
    EXPECT_EQ(ReadFileBytes(parent + L"\\TARGET.GLF"), target);
    EXPECT_TRUE(listed(L"LINK.GLF"));
    EXPECT_TRUE(listed(L"NUL.GLF"));
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1008) == L"2"; }, 10s));
    ASSERT_TRUE(app.Exit());
    StartLinuxProgram("/bin/rm", {"-f", unixFolder + "/LINK.GLF", unixFolder + "/PIPE.GLF"});
    WaitFor([&] { return !listed(L"PIPE.GLF"); }, 10s);
}

}  // namespace
