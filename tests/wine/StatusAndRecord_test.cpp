// What the operator sees and can look up: the status line (control 1013) and
// the day's record file, for a real Varnow.exe under Wine and each kind of
// trouble it meets.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/wine/EndToEnd.h"
#include "tests/wine/PlatformTestSupport.h"

using namespace e2e;
using namespace e2e_fixture;
using namespace std::chrono_literals;

namespace {

class StatusAndRecord : public RelayEndToEnd {
protected:
    // The section's record file of today (local time), as UTF-8 bytes.
    std::string Record(const std::wstring& section) const {
        return ReadFileBytes(TodaysFile(section));
    }
    static std::wstring TodaysFile(const std::wstring& section) {
        SYSTEMTIME today{};
        GetLocalTime(&today);
        wchar_t day[16];
        swprintf(day, 16, L"%04d-%02d-%02d.csv", today.wYear, today.wMonth, today.wDay);
        return Records::RecordsFolder(section) + L"\\" + day;
    }
    bool WaitForStatus(const Varnow& app, const std::wstring& part,
                       std::chrono::milliseconds timeout) const {
        return WaitFor([&] { return StatusText(app).find(part) != std::wstring::npos; },
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

// The last two cells, 所要時間 and 待ち時間, of each line holding `part`.
std::vector<std::pair<std::string, std::string>> Times(const std::string& record,
                                                       const std::string& part) {
    std::vector<std::pair<std::string, std::string>> times;
    for (size_t start = 0, end; (end = record.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        const std::string line = record.substr(start, end - start);
        if (line.find(part) == std::string::npos) continue;
        const size_t wait = line.rfind(','), took = line.rfind(',', wait - 1);
        times.emplace_back(line.substr(took + 1, wait - took - 1), line.substr(wait + 1));
    }
    return times;
}

// Seconds to the millisecond: "12.345".
bool IsSeconds(const std::string& cell) {
    return cell.size() >= 5 && cell[cell.size() - 4] == '.' &&
           cell.find_first_not_of("0123456789.") == std::string::npos;
}

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
        << ToAcp(StatusText(app));
    EXPECT_EQ(SettledCapture(), job);
    const std::string record = Record(L"E2E_Shown");
    EXPECT_EQ(record.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(record.find(u8"日時,ジョブ,サイズ（バイト）,出力先,結果,詳細,所要時間（秒）,"
                          u8"待ち時間（秒）\r\n"),
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
        << ToAcp(StatusText(app));
    EXPECT_TRUE(WaitForStatus(app, L" から 3 回）", 15s)) << ToAcp(StatusText(app));
    // While it stands no job is taken up: one click on the run button stops.
    EXPECT_TRUE(WaitFor([&] { return app.ItemText(1008) == L"1"; }, 6s)) << "the counter does not climb";
    EXPECT_EQ(app.RunCaption(), kStopSearch);
    EXPECT_TRUE(FileExists(folder + L"\\J.GLF"));

    // The output comes back with no job in the folder: the trouble goes all the same.
    ASSERT_TRUE(MoveFileW((folder + L"\\J.GLF").c_str(), (folder + L"\\J.TMP").c_str()));
    ASSERT_TRUE(CreateDirectoryW((outputs + L"\\later").c_str(), nullptr));
    EXPECT_TRUE(WaitFor([&] { return StatusText(app).find(L"を開けません") == std::wstring::npos; }, 10s))
        << ToAcp(StatusText(app));
    app.PostCommand(IDOK);
    EXPECT_TRUE(WaitForStatus(app, L"停止中", 10s)) << ToAcp(StatusText(app));
    app.PostCommand(IDOK);
    ASSERT_TRUE(app.WaitForRunCaption(kStopSearch, 10s));
    ASSERT_TRUE(MoveFileW((folder + L"\\J.TMP").c_str(), (folder + L"\\J.GLF").c_str()));
    EXPECT_TRUE(WaitForStatus(app, L"J.GLF を出力しました", 15s))
        << ToAcp(StatusText(app));
    EXPECT_EQ(ReadFileBytes(outputs + L"\\later\\OUT.PRN"), job);

    // A job another program keeps open is named once it has waited 30 s.
    {
        wine_test::HeldFile holder(ToAcp(folder + L"\\H.GLF"));
        ASSERT_TRUE(holder.IsHeld());
        EXPECT_TRUE(WaitForStatus(app, L"H.GLF は他のプログラムが使用中です（", 45s)) << ToAcp(StatusText(app));
        ASSERT_TRUE(holder.Release());
    }
    EXPECT_TRUE(WaitForStatus(app, L"H.GLF を出力しました", 15s)) << ToAcp(StatusText(app));
    const std::string record = Record(L"E2E_NoOutput");
    EXPECT_EQ(Lines(record, u8"出力先を開けない"), 2u) << record;
    EXPECT_EQ(Lines(record, u8"出力済み"), 2u) << record;
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
        << ToAcp(StatusText(app));
    DeleteFileW((m_capture + L".stall").c_str());
    EXPECT_TRUE(WaitForStatus(app, L"BIG.GLF を出力しました", 20s))
        << ToAcp(StatusText(app));
    EXPECT_EQ(SettledCapture(), job);
    // The time it took counts the stall; the wait before it, from the search
    // finding the job to the output's opening, does not.
    const auto times = Times(Record(L"E2E_Stalled"), "BIG.GLF");
    ASSERT_EQ(times.size(), 1u) << Record(L"E2E_Stalled");
    EXPECT_GE(std::stod(times[0].first), 30.0) << times[0].first;
    EXPECT_LT(std::stod(times[0].second), 5.0) << times[0].second;
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
        << ToAcp(StatusText(app));
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(Lines(Record(L"E2E_StuckShown"), u8"削除できない（1 回だけ出力）"), 1u)
        << Record(L"E2E_StuckShown");
    ASSERT_TRUE(flag.Set(false));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_TRUE(WaitFor(
        [&] { return StatusText(app).find(L"削除できません") == std::wstring::npos; },
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
        << ToAcp(StatusText(app));
    EXPECT_TRUE(WaitForStatus(app, L" ほか 1 件", 10s)) << ToAcp(StatusText(app));
    // Each recorded once, the one the code page cannot spell by its real name.
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(Lines(Record(L"E2E_Strays"), u8"開けない（後回し）"), 2u) << Record(L"E2E_Strays");
    EXPECT_EQ(Lines(Record(L"E2E_Strays"), u8"\uD55C.GLF"), 1u) << Record(L"E2E_Strays");
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
        << ToAcp(StatusText(app));
    EXPECT_EQ(SettledCapture(), job);
    const std::string record = Record(L"E2E_NoHeader");
    EXPECT_EQ(Lines(record, u8"ヘッダー／フッターなし"), 1u) << record;
    EXPECT_EQ(Lines(record, u8"\\gone\\H.PRN を開けません"), 1u) << record;
}

// Today's file held deny-write, as a spreadsheet holds it, while jobs print
// and across an exit: no line is lost, and once the file is let go every
// line is in it, in order. The status line counts the lines that wait.
TEST_F(StatusAndRecord, DayFileHeldByAnotherProgramLosesNoLine) {
    ProfileSection section("E2E_HeldRecord");
    Records records(L"E2E_HeldRecord");
    std::wstring folder = MakeTempFolder(L"heldrecord");
    section.SetString("Findpos", ToAcp(folder));
    ASSERT_TRUE(CreateDirectoryW(Records::RecordsFolder(L"E2E_HeldRecord").c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    HANDLE held = CreateFileW(TodaysFile(L"E2E_HeldRecord").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto print = [&](int job) {
        const std::wstring path = folder + L"\\J" + std::to_wstring(job) + L".GLF";
        ASSERT_TRUE(WriteFileBytes(path, Payload("HELD" + std::to_string(job), 100)));
        ASSERT_TRUE(WaitFor([&] { return !FileExists(path); }, 10s)) << job;
    };

    {
        Varnow app;
        ASSERT_TRUE(app.Start(L"E2E_HeldRecord", L"E2E_HeldRecord"));
        for (int job = 1; job <= 3; ++job) print(job);
        EXPECT_TRUE(WaitForStatus(app, L"記録を書き込めません（3 行を保留中、", 10s))
            << ToAcp(StatusText(app));
        ASSERT_TRUE(app.Exit());
    }
    const std::wstring waiting = Records::RecordsFolder(L"E2E_HeldRecord") + L"\\書き込み待ち.csv";
    EXPECT_EQ(Lines(ReadFileBytes(waiting), u8"出力済み"), 3u) << ReadFileBytes(waiting);

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_HeldRecord", L"E2E_HeldRecord"));
    for (int job = 4; job <= 5; ++job) print(job);
    EXPECT_TRUE(WaitForStatus(app, L"（5 行を保留中、", 10s))
        << ToAcp(StatusText(app));
    CloseHandle(held);
    EXPECT_TRUE(WaitForStatus(app, L"J5.GLF を出力しました", 10s))
        << ToAcp(StatusText(app));
    const std::string record = Record(L"E2E_HeldRecord");
    size_t at = 0;
    for (int job = 1; job <= 5; ++job) {
        const std::string line = "\\J" + std::to_string(job) + u8".GLF,100,LPT1,出力済み,";
        EXPECT_EQ(Lines(record, line), 1u) << record;
        at = record.find(line, at);
        EXPECT_NE(at, std::string::npos) << "J" << job << " out of order: " << record;
    }
    EXPECT_FALSE(FileExists(waiting));
}

// A producer that reuses one name, printed without its missing header: each
// print has its line, with the time it took and the time it waited.
TEST_F(StatusAndRecord, EveryPrintOfAReusedNameHasItsLine) {
    ProfileSection section("E2E_Reused");
    Records records(L"E2E_Reused");
    std::wstring folder = MakeTempFolder(L"reused");
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Header", ToAcp(folder + L"\\gone\\H.PRN"));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Reused", L"E2E_Reused"));
    for (int print = 1; print <= 5; ++print) {
        ASSERT_TRUE(WriteFileBytes(folder + L"\\LABEL.GLF", Payload("LABEL", 200)));
        ASSERT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\LABEL.GLF"); }, 10s)) << print;
    }
    ASSERT_TRUE(app.Exit());
    const std::string record = Record(L"E2E_Reused");
    EXPECT_EQ(Lines(record, u8"\\LABEL.GLF,200,LPT1,ヘッダー／フッターなし,"), 5u) << record;
    EXPECT_EQ(Lines(record, u8"回続きました"), 0u) << record;
    const auto times = Times(record, "LABEL.GLF");
    EXPECT_EQ(times.size(), 5u) << record;
    for (const auto& [took, waited] : times) {
        EXPECT_TRUE(IsSeconds(took)) << took;
        EXPECT_TRUE(IsSeconds(waited)) << waited;
    }
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
        << ToAcp(StatusText(app));
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
