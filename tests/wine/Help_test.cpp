// The help command where no help engine can show the old help format: the HTML
// manual beside the program opens in the user's browser, but only when no help
// file sits there. A help engine that fails shows the program's old message,
// a manual that cannot be opened a message naming it. A helper plays the program (helpbutton.exe, copied into a folder of
// the test's making) and another plays the browser (openrecorder.exe).
// RegDeleteTreeW needs Vista's registry API; the program itself runs on XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include "tests/wine/PlatformTestSupport.h"
#include "tests/wine/VarnowDriver.h"

using namespace std::chrono_literals;

namespace {

const wchar_t kHelpFailed[] = L"ﾍﾙﾌﾟの起動に失敗しました。";
const wchar_t kFileType[] = L"VarnowHelpTest";

bool SetClassDefault(const std::wstring& key, const std::wstring& value) {
    UniqueRegKey handle;
    return RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                           handle.put(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(
               handle.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// .html opens with `command` while the object lives. Wine does not merge the
// user's classes into HKEY_CLASSES_ROOT, so the association is written there,
// and whatever .html named before is put back.
class HtmlAssociation {
public:
    explicit HtmlAssociation(const std::wstring& command) {
        wchar_t previous[256] = L"";
        DWORD size = sizeof previous;
        m_hadPrevious = RegGetValueW(HKEY_CLASSES_ROOT, L".html", nullptr, RRF_RT_REG_SZ, nullptr,
                                     previous, &size) == ERROR_SUCCESS;
        m_previous = previous;
        m_set = SetClassDefault(L".html", kFileType) &&
                SetClassDefault(std::wstring(kFileType) + L"\\shell\\open\\command", command);
    }
    ~HtmlAssociation() {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kFileType);
        if (m_hadPrevious) {
            SetClassDefault(L".html", m_previous);
        } else {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, L".html");
        }
    }
    HtmlAssociation(const HtmlAssociation&) = delete;
    HtmlAssociation& operator=(const HtmlAssociation&) = delete;
    bool IsSet() const { return m_set; }

private:
    bool m_hadPrevious = false;
    std::wstring m_previous;
    bool m_set = false;
};

// One press of the Help button, in a process of its own: the help engine and
// the failure message both block it until they are dismissed.
class HelpPress {
public:
    explicit HelpPress(const std::string& program) {
        std::string line = "\"" + program + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            return;
        m_thread = UniqueKernelHandle(process.hThread);
        m_process = UniqueKernelHandle(process.hProcess);
        m_processId = process.dwProcessId;
    }
    ~HelpPress() {
        if (m_process && !HasEnded(0)) TerminateProcess(m_process.get(), 1);
    }
    HelpPress(const HelpPress&) = delete;
    HelpPress& operator=(const HelpPress&) = delete;

    bool HasEnded(DWORD waitMs) const {
        return m_process && WaitForSingleObject(m_process.get(), waitMs) == WAIT_OBJECT_0;
    }
    // The text of the program's message box, which is then closed; empty when
    // none appears.
    std::wstring DismissMessage() const {
        HWND box = nullptr;
        e2e::WaitFor(
            [&] { return (box = e2e::FindProcessWindow(m_processId, L"helpbutton")) != nullptr; },
            20s);
        if (!box) return L"";
        wchar_t text[MAX_PATH + 64] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, MAX_PATH + 64);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return text;
    }

private:
    UniqueKernelHandle m_thread;
    UniqueKernelHandle m_process;
    DWORD m_processId = 0;
};

// WinHelpA starts winhlp32.exe and waits for it, and Wine's winhlp32 stays with
// a message of its own about the file. Ending it makes WinHelpA fail. False
// when the help engine never started.
bool EndHelpEngine() {
    return e2e::WaitFor(
        [] {
            bool ended = false;
            const UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
                 more = Process32NextW(snapshot.get(), &entry)) {
                if (lstrcmpiW(entry.szExeFile, L"winhlp32.exe") != 0) continue;
                const UniqueKernelHandle engine(
                    OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
                ended = engine && TerminateProcess(engine.get(), 1);
            }
            return ended;
        },
        20s);
}

TEST(HelpCommand, OpensTheHtmlManualOnlyWhenNoHelpFileSitsBesideTheProgram) {
    const wine_test::TempFolder folder;
    const std::string program = folder / "helpbutton.exe";
    const std::string manual = folder / "Varnow.html";
    const std::string helpFile = folder / "helpbutton.HLP";
    const std::string record = folder / "opened.txt";
    ASSERT_TRUE(
        CopyFileA((wine_test::BinDir() + "\\helpbutton.exe").c_str(), program.c_str(), FALSE));
    const std::wstring recorder =
        L"\"" + e2e::BinFolder() + L"\\openrecorder.exe\" \"" + e2e::FromAcp(record) + L"\" \"%1\"";

    {
        const HtmlAssociation browser(recorder);
        ASSERT_TRUE(browser.IsSet());

        const HelpPress neither(program);
        EXPECT_TRUE(EndHelpEngine()) << "with neither file the help engine is asked";
        EXPECT_EQ(neither.DismissMessage(), kHelpFailed);
        EXPECT_TRUE(neither.HasEnded(10000));

        ASSERT_TRUE(wine_test::WriteBytes(manual, "<html lang=\"ja\"></html>"));
        const HelpPress manualOnly(program);
        EXPECT_TRUE(manualOnly.HasEnded(20000)) << "no message and no help engine";
        EXPECT_TRUE(e2e::WaitFor([&] { return wine_test::Exists(record); }, 10s));
        EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE,
                                 wine_test::ReadBytes(record).c_str(), -1, manual.c_str(), -1),
                  CSTR_EQUAL)
            << wine_test::ReadBytes(record);

        DeleteFileA(record.c_str());
        ASSERT_TRUE(wine_test::WriteBytes(helpFile, "not a help file"));
        const HelpPress both(program);
        EXPECT_TRUE(EndHelpEngine()) << "a help file beside the program goes to the help engine";
        EXPECT_EQ(both.DismissMessage(), kHelpFailed);
        EXPECT_TRUE(both.HasEnded(10000));
        EXPECT_FALSE(wine_test::Exists(record));
        DeleteFileA(helpFile.c_str());
    }

    const HtmlAssociation missingBrowser(L"\"Z:\\no\\such\\browser.exe\" \"%1\"");
    ASSERT_TRUE(missingBrowser.IsSet());
    const HelpPress noBrowser(program);
    EXPECT_EQ(noBrowser.DismissMessage(),
              L"マニュアル（" + e2e::FromAcp(manual) + L"）を開けませんでした。");
    EXPECT_TRUE(noBrowser.HasEnded(10000));
}

}  // namespace
