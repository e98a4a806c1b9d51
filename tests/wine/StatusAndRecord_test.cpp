// What the operator sees and can look up: the status line (control 1013) and
// the day's record file, for a real Varnow.exe under Wine and each kind of
// trouble it meets.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <thread>

#include "tests/wine/EndToEnd.h"
#include "tests/wine/PlatformTestSupport.h"

using namespace e2e;
using namespace e2e_fixture;
using namespace std::chrono_literals;

namespace {

constexpr int kStatusLine = 1013;

class StatusAndRecord : public RelayEndToEnd {
protected:
    // The section's record file of today (local time), as UTF-8 bytes.
    std::string Record(const std::wstring& section) const {
        wchar_t local[MAX_PATH] = L"";
        if (FAILED(
                SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)))
            return {};
        SYSTEMTIME today{};
        GetLocalTime(&today);
        wchar_t day[16];
        swprintf(day, 16, L"%04d-%02d-%02d.csv", today.wYear, today.wMonth, today.wDay);
        return ReadFileBytes(std::wstring(local) + L"\\Brenholt\\Varnow\\Records\\" + section +
                             L"\\" + day);
    }
    bool WaitForStatus(const Varnow& app, const std::wstring& part,
                       std::chrono::milliseconds timeout) const {
        return WaitFor([&] { return app.ItemText(kStatusLine).find(part) != std::wstring::npos; },
                       timeout);
    }
    // Removes the section's records before and after the test.
    struct Records {
        explicit Records(std::wstring section) : folder(RecordsFolder(section)) { Clear(); }
        ~Records() { Clear(); }
        void Clear() const {
            WIN32_FIND_DATAW entry;
            HANDLE find = FindFirstFileW((folder + L"\\*.csv").c_str(), &entry);
            if (find == INVALID_HANDLE_VALUE) return;
            do DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
            while (FindNextFileW(find, &entry));
            FindClose(find);
        }
        static std::wstring RecordsFolder(const std::wstring& section) {
            wchar_t local[MAX_PATH] = L"";
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local);
            return std::wstring(local) + L"\\Brenholt\\Varnow\\Records\\" + section;
        }
        std::wstring folder;
    };
};

size_t Lines(const std::string& text, const std::string& part) { return CountOf(text, part); }

// A job relayed: the status line names it with its size, and the record opens
// with a byte-order mark and a header row, in CRLF lines.
TEST_F(StatusAndRecord, RelayedJobIsShownAndRecorded) {
    ProfileSection section("E2E_Shown");
    Records records(L"E2E_Shown");
    std::wstring folder = MakeTempFolder(L"shown");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("SHOWN", 1234);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\JOB1.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Shown", L"E2E_Shown"));
    ASSERT_TRUE(WaitForStatus(app, L"JOB1.GLF を出力しました（1,234 バイト）", 10s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_EQ(SettledCapture(), job);
    const std::string record = Record(L"E2E_Shown");
    EXPECT_EQ(record.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(record.find(u8"日時,ジョブ,サイズ（バイト）,出力先,結果,詳細,所要時間（秒）\r\n"),
              std::string::npos)
        << record;
    EXPECT_EQ(Lines(record, u8"\\JOB1.GLF,1234,LPT1,出力済み,"), 1u) << record;
    EXPECT_EQ(Lines(record, "\n"), Lines(record, "\r\n"));
}

// An output that cannot be opened keeps the job and says why, since when and
// how often; the record has one line when it begins and one when it ends, not
// one per try. Then the job goes out.
TEST_F(StatusAndRecord, OutputThatCannotBeOpenedThenComesBack) {
    ProfileSection section("E2E_NoOutput");
    Records records(L"E2E_NoOutput");
    std::wstring folder = MakeTempFolder(L"nooutput");
    std::wstring outputs = MakeTempFolder(L"nooutput-out");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Output", ToAcp(outputs + L"\\later\\OUT.PRN"));
    const std::string job = Payload("LATER", 300);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_NoOutput", L"E2E_NoOutput"));
    ASSERT_TRUE(WaitForStatus(app, L"を開けません（見つかりません、", 10s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_TRUE(WaitForStatus(app, L" から 3 回）", 15s)) << ToAcp(app.ItemText(kStatusLine));
    EXPECT_TRUE(FileExists(folder + L"\\J.GLF"));
    ASSERT_TRUE(CreateDirectoryW((outputs + L"\\later").c_str(), nullptr));
    EXPECT_TRUE(WaitForStatus(app, L"J.GLF を出力しました", 15s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_EQ(ReadFileBytes(outputs + L"\\later\\OUT.PRN"), job);
    const std::string record = Record(L"E2E_NoOutput");
    EXPECT_EQ(Lines(record, u8"出力先を開けない"), 2u) << record;
    EXPECT_EQ(Lines(record, u8"出力済み"), 1u) << record;
}

// A printer that takes no byte for 30 s is named with the job it holds.
TEST_F(StatusAndRecord, PrinterThatTakesNothingFor30SecondsIsShown) {
    ProfileSection section("E2E_Stalled");
    Records records(L"E2E_Stalled");
    std::wstring folder = MakeTempFolder(L"stalled");
    section.SetString("Findpos", ToAcp(folder));
    const std::string job = Payload("STALLED", 300 * 1024);
    ASSERT_TRUE(WriteFileBytes(m_capture + L".stall", ""));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\BIG.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Stalled", L"E2E_Stalled"));
    EXPECT_TRUE(WaitForStatus(app, L"プリンターが応答しません（BIG.GLF、", 45s))
        << ToAcp(app.ItemText(kStatusLine));
    DeleteFileW((m_capture + L".stall").c_str());
    EXPECT_TRUE(WaitForStatus(app, L"BIG.GLF を出力しました", 20s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_EQ(SettledCapture(), job);
}

// A job that cannot be deleted is sent once and named until it goes.
TEST_F(StatusAndRecord, StuckJobIsNamedAndRecordedOnce) {
    ProfileSection section("E2E_StuckShown");
    Records records(L"E2E_StuckShown");
    std::wstring folder = MakeTempFolder(L"immutable-stuckshown");
    section.SetString("Findpos", ToAcp(folder));
    const std::wstring path = folder + L"\\STUCK.GLF";
    ASSERT_TRUE(WriteFileBytes(path, Payload("STUCK", 200)));
    ImmutableFlag flag(path);
    ASSERT_TRUE(flag.Set(true));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_StuckShown", L"E2E_StuckShown"));
    EXPECT_TRUE(WaitForStatus(
        app, L"STUCK.GLF を削除できません。1 回だけ出力しました。手で削除してください", 15s))
        << ToAcp(app.ItemText(kStatusLine));
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(Lines(Record(L"E2E_StuckShown"), u8"削除できない（1 回だけ出力）"), 1u)
        << Record(L"E2E_StuckShown");
    ASSERT_TRUE(flag.Set(false));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_TRUE(WaitFor(
        [&] { return app.ItemText(kStatusLine).find(L"削除できません") == std::wstring::npos; },
        10s));
}

// Files that cannot be relayed are named, one of them and how many more; the
// one that was tried is recorded. The job behind them goes out.
TEST_F(StatusAndRecord, StraysAreNamedAndTheJobsFlow) {
    ProfileSection section("E2E_Strays");
    Records records(L"E2E_Strays");
    std::wstring folder = MakeTempFolder(L"strays");
    section.SetString("Findpos", ToAcp(folder));
    const wine_test::WideFile hangul(folder + L"\\\uD55C.GLF", "hangul");
    const wine_test::WideFile longName(folder + L"\\" + std::wstring(246, L'L') + L".GLF", "long");
    ASSERT_TRUE(hangul.Written());
    ASSERT_TRUE(longName.Written());
    ASSERT_TRUE(WriteFileBytes(folder + L"\\NEXT.GLF", Payload("NEXT", 100)));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Strays", L"E2E_Strays"));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\NEXT.GLF"); }, 10s));
    EXPECT_TRUE(WaitForStatus(app, L"開けないファイルがあります: ", 15s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_TRUE(WaitForStatus(app, L" ほか 1 件", 10s)) << ToAcp(app.ItemText(kStatusLine));
    EXPECT_EQ(Lines(Record(L"E2E_Strays"), u8"開けない（後回し）"), 1u) << Record(L"E2E_Strays");
    EXPECT_EQ(Lines(Record(L"E2E_Strays"), u8"出力済み"), 1u) << Record(L"E2E_Strays");
}

// A header that cannot be opened is left out and said so, in the status line
// and the record's result and detail.
TEST_F(StatusAndRecord, MissingHeaderIsShownAndRecorded) {
    ProfileSection section("E2E_NoHeader");
    Records records(L"E2E_NoHeader");
    std::wstring folder = MakeTempFolder(L"noheader");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Header", ToAcp(folder + L"\\gone\\H.PRN"));
    const std::string job = Payload("BARE", 200);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_NoHeader", L"E2E_NoHeader"));
    EXPECT_TRUE(
        WaitForStatus(app, L"\\gone\\H.PRN を開けません（ヘッダーなしで出力しました）", 10s))
        << ToAcp(app.ItemText(kStatusLine));
    EXPECT_EQ(SettledCapture(), job);
    const std::string record = Record(L"E2E_NoHeader");
    EXPECT_EQ(Lines(record, u8"ヘッダー／フッターなし"), 1u) << record;
    EXPECT_EQ(Lines(record, u8"\\gone\\H.PRN を開けません"), 1u) << record;
}

// A printer's name typed into 出力先 that the code page cannot spell is told
// at once; it is not saved mangled, and no job goes anywhere meanwhile.
TEST_F(StatusAndRecord, OutputNameTheCodePageCannotSpellIsToldAtOnce) {
    ProfileSection section("E2E_Hangul");
    Records records(L"E2E_Hangul");
    const std::wstring folder = MakeTempFolder(L"hangul");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Output", "LPT1");

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Hangul", L"E2E_Hangul"));
    ASSERT_TRUE(SetWindowTextW(GetDlgItem(app.Window(), 1007), L"한국 프린터"));
    EXPECT_TRUE(WaitForStatus(app, L"出力先の名前にこの PC の文字コードで表せない文字があります", 1s))
        << ToAcp(app.ItemText(kStatusLine));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J.GLF", Payload("KEPT", 100)));
    std::this_thread::sleep_for(6s);
    EXPECT_TRUE(FileExists(folder + L"\\J.GLF"));
    EXPECT_EQ(app.ItemText(1008), L"0");
    EXPECT_EQ(app.ItemText(1007), L"한국 프린터") << "left as typed";
    ASSERT_TRUE(app.Exit());
    DWORD type = 0;
    std::string saved;
    ASSERT_TRUE(section.Read("Output", &type, &saved));
    EXPECT_EQ(saved, std::string("LPT1") + '\0');
    EXPECT_EQ(SettledCapture(), "");
}

}  // namespace
