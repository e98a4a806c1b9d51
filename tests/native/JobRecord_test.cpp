#include "relay/JobRecord.h"

#include <gtest/gtest.h>
#include <time.h>

#include <set>

#include "TestSupport.h"

namespace {

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The real files of the POSIX twin, with a calendar in UTC so the day files
// do not depend on the machine's time zone, and files that refuse to be
// written, as one that another program holds.
class UtcRecordFiles : public platform::RecordFiles {
public:
    bool CreateFolder(const std::string& path) override { return m_disk.CreateFolder(path); }
    bool Append(const std::string& path, const std::string& start,
                const std::string& bytes) override {
        return !Refused(path) && m_disk.Append(path, start, bytes);
    }
    bool Replace(const std::string& path, const std::string& bytes) override {
        return !Refused(path) && m_disk.Replace(path, bytes);
    }
    bool Read(const std::string& path, std::string* bytes) override {
        return m_disk.Read(path, bytes);
    }
    std::vector<std::string> ListFiles(const std::string& folder) override {
        return m_disk.ListFiles(folder);
    }
    bool Delete(const std::string& path) override { return m_disk.Delete(path); }
    platform::LocalTime ToLocalTime(int64_t seconds) override {
        const time_t time = static_cast<time_t>(seconds);
        struct tm utc {};
        gmtime_r(&time, &utc);
        return {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour,        utc.tm_min,     utc.tm_sec};
    }

    std::set<std::string> refused;  // bare file names; "*" refuses every file

private:
    bool Refused(const std::string& path) const {
        return refused.count("*") || refused.count(path.substr(path.find_last_of('/') + 1));
    }
    platform::RecordFiles& m_disk = platform::SystemRecordFiles();
};

std::string Same(const std::string& text) { return text; }

constexpr int64_t kNoon = 1796817795;  // 2026-12-09 12:03:15 UTC
constexpr int64_t kDay = 86400;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the last line ends without CRLF";
    return lines;
}

JobRecordEntry Entry(int64_t time, const std::string& job, JobResult result) {
    JobRecordEntry entry;
    entry.time = time;
    entry.job = job;
    entry.bytes = 1234;
    entry.output = "LPT1";
    entry.result = result;
    return entry;
}

class JobRecordTest : public ::testing::Test {
protected:
    JobRecordTest() { record.KeepIn(folder, true, 90); }

    std::string DayFile(const char* date) const { return folder + "/" + date + ".csv"; }

    TempDir dir;
    std::string folder = dir / "Records/Varnow";
    UtcRecordFiles files;
    JobRecord record{files, Same};
};

TEST_F(JobRecordTest, DayFilesStartWithMarkAndHeaderAndCollectTheirDaysLines) {
    record.Write(Entry(kNoon, "/out/JOB1.GLF", JobResult::Sent));
    record.Write(Entry(kNoon + 60, "/out/JOB2.GLF", JobResult::Sent));
    record.Write(Entry(kNoon + kDay, "/out/JOB3.GLF", JobResult::Sent));

    const std::string first = ReadFile(DayFile("2026-12-09"));
    ASSERT_EQ(first.rfind(RecordFileStart(), 0), 0u);
    EXPECT_EQ(
        Lines(first.substr(RecordFileStart().size())),
        (std::vector<std::string>{u8"2026-12-09 12:03:15,/out/JOB1.GLF,1234,LPT1,出力済み,,,",
                                  u8"2026-12-09 12:04:15,/out/JOB2.GLF,1234,LPT1,出力済み,,,"}));
    const std::string second = ReadFile(DayFile("2026-12-10"));
    EXPECT_EQ(second,
              RecordFileStart() + u8"2026-12-10 12:03:15,/out/JOB3.GLF,1234,LPT1,出力済み,,,\r\n");

    // A file left empty, e.g. by a full disk, still gets its header.
    WriteFile(DayFile("2026-12-11"), "");
    record.Write(Entry(kNoon + 2 * kDay, "/out/JOB4.GLF", JobResult::Sent));
    EXPECT_EQ(ReadFile(DayFile("2026-12-11")).rfind(RecordFileStart(), 0), 0u);
    EXPECT_EQ(record.Waiting(), 0u);
}

// Only tries in which nothing reached the output are counted instead of
// written; every print has its line, even of a name used again and again.
TEST_F(JobRecordTest, OnlyTriesThatReachedNothingAreCollapsed) {
    // The output stays shut for a thousand polls, whichever job tries it.
    for (int i = 0; i < 1000; ++i) {
        JobRecordEntry entry =
            Entry(kNoon + 4 * i, i % 2 ? "/out/B.GLF" : "/out/A.GLF", JobResult::OutputUnopenable);
        entry.detail = u8"使用中です";
        record.Write(entry);
    }
    record.Write(Entry(kNoon + 4000, "/out/A.GLF", JobResult::Sent));
    // One job that cannot be opened does not hide another.
    record.Write(Entry(kNoon + 4030, "/out/D.GLF", JobResult::Unopenable));
    record.Write(Entry(kNoon + 4040, "/out/D.GLF", JobResult::Unopenable));
    record.Write(Entry(kNoon + 4050, "/out/E.GLF", JobResult::Unopenable));
    // A producer that reuses one name, printed without its header, and a job
    // that cannot be deleted: each print is a line.
    for (const JobResult result :
         {JobResult::NoHeaderFooter, JobResult::NoHeaderFooter, JobResult::NoHeaderFooter,
          JobResult::Undeletable, JobResult::Undeletable, JobResult::WriteFailed,
          JobResult::WriteFailed, JobResult::Cancelled, JobResult::Cancelled}) {
        record.Write(Entry(kNoon + 4060, "/out/LABEL.GLF", result));
    }
    // The program ends while E still fails.
    record.Write(Entry(kNoon + 4070, "/out/E.GLF", JobResult::Unopenable));
    record.Write(Entry(kNoon + 4080, "/out/E.GLF", JobResult::Unopenable));
    record.Close(kNoon + 4090);
    record.Close(kNoon + 4090);

    const std::string text = ReadFile(DayFile("2026-12-09"));
    const std::string label = u8"2026-12-09 13:10:55,/out/LABEL.GLF,1234,LPT1,";
    EXPECT_EQ(
        Lines(text.substr(RecordFileStart().size())),
        (std::vector<std::string>{
            u8"2026-12-09 12:03:15,/out/A.GLF,1234,LPT1,出力先を開けない,使用中です,,",
            u8"2026-12-09 13:09:51,/out/B.GLF,1234,LPT1,出力先を開けない,"
            u8"使用中です（12:03:15 から 1000 回続きました）,,",
            u8"2026-12-09 13:09:55,/out/A.GLF,1234,LPT1,出力済み,,,",
            u8"2026-12-09 13:10:25,/out/D.GLF,1234,LPT1,開けない（後回し）,,,",
            u8"2026-12-09 13:10:35,/out/D.GLF,1234,LPT1,開けない（後回し）,"
            u8"13:10:25 から 2 回続きました,,",
            u8"2026-12-09 13:10:45,/out/E.GLF,1234,LPT1,開けない（後回し）,,,",
            label + u8"ヘッダー／フッターなし,,,", label + u8"ヘッダー／フッターなし,,,",
            label + u8"ヘッダー／フッターなし,,,", label + u8"削除できない（1 回だけ出力）,,,",
            label + u8"削除できない（1 回だけ出力）,,,", label + u8"書き込み失敗（再出力）,,,",
            label + u8"書き込み失敗（再出力）,,,", label + u8"出力中止（再出力）,,,",
            label + u8"出力中止（再出力）,,,",
            u8"2026-12-09 13:11:05,/out/E.GLF,1234,LPT1,開けない（後回し）,,,",
            u8"2026-12-09 13:11:15,/out/E.GLF,1234,LPT1,開けない（後回し）,"
            u8"13:11:05 から 2 回続きました,,"}));
}

TEST_F(JobRecordTest, AFailureOverMidnightNamesTheDayItBegan) {
    record.Write(Entry(kNoon, "/out/A.GLF", JobResult::OutputUnopenable));
    record.Write(Entry(kNoon + kDay, "/out/A.GLF", JobResult::OutputUnopenable));
    record.Write(Entry(kNoon + kDay + 4, "/out/A.GLF", JobResult::Sent));
    const std::string text = ReadFile(DayFile("2026-12-10"));
    EXPECT_NE(text.find(u8",2026-12-09 12:03:15 から 2 回続きました,"), std::string::npos) << text;
    EXPECT_EQ(Lines(text.substr(RecordFileStart().size())).size(), 2u);
}

TEST_F(JobRecordTest, DayFilesOlderThanTheDaysToKeepAreDeletedOncePerDay) {
    ASSERT_TRUE(files.CreateFolder(folder));
    for (const char* name : {"2026-12-09.csv", "2026-09-10.csv", "2026-09-10-2.csv",
                             "2026-09-09.csv", "2026-09-09-2.csv", "2025-01-01.csv", "notes.txt",
                             "old.csv", "2026-09-09-3.csv", JobRecord::kWaitingFileName}) {
        WriteFile(folder + "/" + name, "x");
    }
    record.DeleteOldDays(kNoon);
    EXPECT_TRUE(Exists(DayFile("2026-12-09")));
    EXPECT_TRUE(Exists(DayFile("2026-09-10")));  // 90 days old
    EXPECT_TRUE(Exists(DayFile("2026-09-10-2")));
    EXPECT_FALSE(Exists(DayFile("2026-09-09")));
    EXPECT_FALSE(Exists(DayFile("2026-09-09-2")));
    EXPECT_FALSE(Exists(DayFile("2025-01-01")));
    for (const std::string name :
         {"notes.txt", "old.csv", "2026-09-09-3.csv", JobRecord::kWaitingFileName})
        EXPECT_TRUE(Exists(folder + "/" + name)) << name;

    // Later the same day nothing is looked at; after midnight it is.
    record.DeleteOldDays(kNoon + 3600);
    EXPECT_TRUE(Exists(DayFile("2026-09-10")));
    record.DeleteOldDays(kNoon + 12 * 3600);
    EXPECT_FALSE(Exists(DayFile("2026-09-10")));
    EXPECT_FALSE(Exists(DayFile("2026-09-10-2")));

    // 0 days to keep keeps everything.
    WriteFile(DayFile("2020-01-01"), "x");
    record.KeepIn(folder, true, 0);
    record.DeleteOldDays(kNoon + 2 * kDay);
    EXPECT_TRUE(Exists(DayFile("2020-01-01")));
}

// A day file that another program holds loses nothing: its lines wait, in
// order, and go to it as soon as it takes them, or after a minute to the
// day's second file.
TEST_F(JobRecordTest, LinesWaitInOrderForTheirDayFile) {
    const auto job = [](int i) { return "/out/J" + std::to_string(i) + ".GLF"; };
    const auto write = [&](int i, int64_t time) {
        record.Write(Entry(time, job(i), JobResult::Sent));
    };
    // The jobs named in a file's lines, in order.
    const auto jobsIn = [&](const std::string& path) {
        std::string jobs;
        for (const std::string& line : SplitRecordLines(ReadFile(path))) {
            const size_t name = line.find("/out/J") != std::string::npos ? line.find("/out/J") + 6
                                                                         : line.find("/out/") + 5;
            jobs += line.substr(name, line.find(".GLF") - name) + ' ';
        }
        return jobs;
    };

    files.refused = {"2026-12-09.csv"};
    write(1, kNoon);
    write(2, kNoon + 10);
    record.Retry(kNoon + 20);
    EXPECT_EQ(record.Waiting(), 2u);
    EXPECT_EQ(record.SecondFileDay(), "");
    files.refused.clear();
    record.Retry(kNoon + 30);
    EXPECT_EQ(record.Waiting(), 0u);
    write(3, kNoon + 40);
    EXPECT_EQ(jobsIn(DayFile("2026-12-09")), "1 2 3 ");

    // Held for more than a minute: what waits goes to the second file, and so
    // does what follows, until the day file takes lines again.
    files.refused = {"2026-12-09.csv"};
    write(4, kNoon + 100);
    record.Retry(kNoon + 160);
    EXPECT_EQ(record.Waiting(), 1u);
    write(5, kNoon + 161);
    EXPECT_EQ(record.Waiting(), 0u);
    EXPECT_EQ(record.SecondFileDay(), "2026-12-09");
    write(6, kNoon + 170);
    EXPECT_EQ(jobsIn(DayFile("2026-12-09-2")), "4 5 6 ");
    files.refused.clear();
    write(7, kNoon + 180);
    EXPECT_EQ(record.SecondFileDay(), "");
    EXPECT_EQ(jobsIn(DayFile("2026-12-09")), "1 2 3 7 ");

    // Over midnight a line waits for its own day's file, not the next day's.
    const int64_t midnight = kNoon + 12 * 3600 - 195;  // 2026-12-10 00:00:00
    files.refused = {"2026-12-09.csv", "2026-12-09-2.csv"};
    write(8, midnight - 10);
    write(9, midnight + 10);
    EXPECT_EQ(jobsIn(DayFile("2026-12-10")), "9 ");
    EXPECT_EQ(record.Waiting(), 1u);
    files.refused.clear();
    record.Retry(midnight + 20);
    EXPECT_EQ(jobsIn(DayFile("2026-12-09")), "1 2 3 7 8 ");

    // Still held at the exit: kept beside the day files, taken up by the next
    // start before its own lines, and the keeping file goes once they are written.
    files.refused = {"2026-12-10.csv", "2026-12-10-2.csv"};
    write(10, midnight + 30);
    record.Write(Entry(midnight + 40, "/out/X.GLF", JobResult::OutputUnopenable));
    record.Write(Entry(midnight + 44, "/out/X.GLF", JobResult::OutputUnopenable));
    record.Close(midnight + 50);
    const std::string keeping = folder + "/" + JobRecord::kWaitingFileName;
    EXPECT_EQ(SplitRecordLines(ReadFile(keeping)).size(), 3u);
    JobRecord next{files, Same};
    next.KeepIn(folder, true, 90);
    EXPECT_EQ(next.Waiting(), 3u);
    next.Write(Entry(midnight + 70, job(11), JobResult::Sent));
    EXPECT_EQ(next.Waiting(), 4u);
    files.refused.clear();
    next.Retry(midnight + 80);
    EXPECT_EQ(next.Waiting(), 0u);
    EXPECT_EQ(jobsIn(DayFile("2026-12-10")), "9 10 X X 11 ");
    EXPECT_FALSE(Exists(keeping));
    next.KeepIn(folder, true, 90);
    EXPECT_EQ(next.Waiting(), 0u);
}

// Lines beyond what memory keeps are counted, and the count is written in
// their place.
TEST_F(JobRecordTest, LinesBeyondTheBoundAreCountedInALine) {
    files.refused = {"*"};
    const size_t beyond = 5;
    for (size_t i = 0; i < JobRecord::kMaxWaitingLines + beyond; ++i)
        record.Write(Entry(kNoon + static_cast<int64_t>(i) / 100, "/out/J.GLF", JobResult::Sent));
    EXPECT_EQ(record.Waiting(), JobRecord::kMaxWaitingLines + beyond);
    files.refused.clear();
    record.Retry(kNoon + 1000);
    EXPECT_EQ(record.Waiting(), 0u);
    const std::vector<std::string> lines = SplitRecordLines(ReadFile(DayFile("2026-12-09")));
    ASSERT_EQ(lines.size(), JobRecord::kMaxWaitingLines + 1);
    EXPECT_EQ(lines.back(),
              u8"2026-12-09 12:11:35,,0,,記録の欠落,\"12:11:35 からの 5 行を記録できませんでした"
              u8"（書き込めない間に保留できる 50,000 行を超えました）\",,\r\n");
}

TEST_F(JobRecordTest, ARecordThatCannotBeWrittenWaitsAndOneSwitchedOffWritesNothing) {
    WriteFile(dir / "file", "x");
    record.KeepIn(dir / "file/Varnow", true, 90);
    record.Write(Entry(kNoon, "/out/A.GLF", JobResult::Sent));
    record.Write(Entry(kNoon + 4, "/out/B.GLF", JobResult::Sent));
    EXPECT_EQ(record.Waiting(), 2u);

    JobRecord off{files, Same};
    off.KeepIn(folder, false, 90);
    off.Write(Entry(kNoon, "/out/A.GLF", JobResult::Sent));
    off.Close(kNoon);
    EXPECT_FALSE(Exists(folder));
}

}  // namespace
