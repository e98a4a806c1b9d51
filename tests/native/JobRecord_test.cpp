#include "relay/JobRecord.h"

#include <gtest/gtest.h>
#include <time.h>

#include <sstream>

#include "TestSupport.h"

namespace {

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The real files of the POSIX twin, with a calendar in UTC so the day files
// do not depend on the machine's time zone.
class UtcRecordFiles : public platform::RecordFiles {
public:
    bool CreateFolder(const std::string& path) override { return m_disk.CreateFolder(path); }
    bool Append(const std::string& path, const std::string& start,
                const std::string& bytes) override {
        return m_disk.Append(path, start, bytes);
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

private:
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
    EXPECT_TRUE(record.Write(Entry(kNoon, "/out/JOB1.GLF", JobResult::Sent)));
    EXPECT_TRUE(record.Write(Entry(kNoon + 60, "/out/JOB2.GLF", JobResult::Sent)));
    EXPECT_TRUE(record.Write(Entry(kNoon + kDay, "/out/JOB3.GLF", JobResult::Sent)));

    const std::string first = ReadFile(DayFile("2026-12-09"));
    ASSERT_EQ(first.rfind(RecordFileStart(), 0), 0u);
    EXPECT_EQ(
        Lines(first.substr(RecordFileStart().size())),
        (std::vector<std::string>{u8"2026-12-09 12:03:15,/out/JOB1.GLF,1234,LPT1,出力済み,,0.0",
                                  u8"2026-12-09 12:04:15,/out/JOB2.GLF,1234,LPT1,出力済み,,0.0"}));
    const std::string second = ReadFile(DayFile("2026-12-10"));
    EXPECT_EQ(second, RecordFileStart() +
                          u8"2026-12-10 12:03:15,/out/JOB3.GLF,1234,LPT1,出力済み,,0.0\r\n");

    // A file left empty, e.g. by a full disk, still gets its header.
    WriteFile(DayFile("2026-12-11"), "");
    EXPECT_TRUE(record.Write(Entry(kNoon + 2 * kDay, "/out/JOB4.GLF", JobResult::Sent)));
    EXPECT_EQ(ReadFile(DayFile("2026-12-11")).rfind(RecordFileStart(), 0), 0u);
}

TEST_F(JobRecordTest, ARepeatedFailureIsWrittenWhenItBeginsAndWhenItEnds) {
    // The output stays shut for a thousand polls, whichever job tries it.
    for (int i = 0; i < 1000; ++i) {
        JobRecordEntry entry =
            Entry(kNoon + 4 * i, i % 2 ? "/out/B.GLF" : "/out/A.GLF", JobResult::OutputUnopenable);
        entry.detail = u8"使用中です";
        EXPECT_TRUE(record.Write(entry));
    }
    EXPECT_TRUE(record.Write(Entry(kNoon + 4000, "/out/A.GLF", JobResult::Sent)));
    // A failure tried once needs no closing line.
    EXPECT_TRUE(record.Write(Entry(kNoon + 4010, "/out/C.GLF", JobResult::WriteFailed)));
    EXPECT_TRUE(record.Write(Entry(kNoon + 4020, "/out/C.GLF", JobResult::Sent)));
    // One job that cannot be opened does not hide another.
    EXPECT_TRUE(record.Write(Entry(kNoon + 4030, "/out/D.GLF", JobResult::Unopenable)));
    EXPECT_TRUE(record.Write(Entry(kNoon + 4040, "/out/D.GLF", JobResult::Unopenable)));
    EXPECT_TRUE(record.Write(Entry(kNoon + 4050, "/out/E.GLF", JobResult::Unopenable)));
    // The program ends while E still fails.
    EXPECT_TRUE(record.Write(Entry(kNoon + 4060, "/out/E.GLF", JobResult::Unopenable)));
    EXPECT_TRUE(record.Flush());
    EXPECT_TRUE(record.Flush());

    const std::string text = ReadFile(DayFile("2026-12-09"));
    EXPECT_EQ(Lines(text.substr(RecordFileStart().size())),
              (std::vector<std::string>{
                  u8"2026-12-09 12:03:15,/out/A.GLF,1234,LPT1,出力先を開けない,使用中です,0.0",
                  u8"2026-12-09 13:09:51,/out/B.GLF,1234,LPT1,出力先を開けない,"
                  u8"使用中です（12:03:15 から 1000 回続きました）,0.0",
                  u8"2026-12-09 13:09:55,/out/A.GLF,1234,LPT1,出力済み,,0.0",
                  u8"2026-12-09 13:10:05,/out/C.GLF,1234,LPT1,書き込み失敗（再出力）,,0.0",
                  u8"2026-12-09 13:10:15,/out/C.GLF,1234,LPT1,出力済み,,0.0",
                  u8"2026-12-09 13:10:25,/out/D.GLF,1234,LPT1,開けない（後回し）,,0.0",
                  u8"2026-12-09 13:10:35,/out/D.GLF,1234,LPT1,開けない（後回し）,"
                  u8"13:10:25 から 2 回続きました,0.0",
                  u8"2026-12-09 13:10:45,/out/E.GLF,1234,LPT1,開けない（後回し）,,0.0",
                  u8"2026-12-09 13:10:55,/out/E.GLF,1234,LPT1,開けない（後回し）,"
                  u8"13:10:45 から 2 回続きました,0.0"}));
}

TEST_F(JobRecordTest, AFailureOverMidnightNamesTheDayItBegan) {
    EXPECT_TRUE(record.Write(Entry(kNoon, "/out/A.GLF", JobResult::OutputUnopenable)));
    EXPECT_TRUE(record.Write(Entry(kNoon + kDay, "/out/A.GLF", JobResult::OutputUnopenable)));
    EXPECT_TRUE(record.Write(Entry(kNoon + kDay + 4, "/out/A.GLF", JobResult::Sent)));
    const std::string text = ReadFile(DayFile("2026-12-10"));
    EXPECT_NE(text.find(u8",2026-12-09 12:03:15 から 2 回続きました,"), std::string::npos) << text;
    EXPECT_EQ(Lines(text.substr(RecordFileStart().size())).size(), 2u);
}

TEST_F(JobRecordTest, DayFilesOlderThanTheDaysToKeepAreDeletedOncePerDay) {
    ASSERT_TRUE(files.CreateFolder(folder));
    for (const char* name : {"2026-12-09.csv", "2026-09-10.csv", "2026-09-09.csv", "2025-01-01.csv",
                             "notes.txt", "old.csv"}) {
        WriteFile(folder + "/" + name, "x");
    }
    record.DeleteOldDays(kNoon);
    EXPECT_TRUE(Exists(DayFile("2026-12-09")));
    EXPECT_TRUE(Exists(DayFile("2026-09-10")));  // 90 days old
    EXPECT_FALSE(Exists(DayFile("2026-09-09")));
    EXPECT_FALSE(Exists(DayFile("2025-01-01")));
    EXPECT_TRUE(Exists(folder + "/notes.txt"));
    EXPECT_TRUE(Exists(folder + "/old.csv"));

    // Later the same day nothing is looked at; after midnight it is.
    record.DeleteOldDays(kNoon + 3600);
    EXPECT_TRUE(Exists(DayFile("2026-09-10")));
    record.DeleteOldDays(kNoon + 12 * 3600);
    EXPECT_FALSE(Exists(DayFile("2026-09-10")));

    // 0 days to keep keeps everything.
    WriteFile(DayFile("2020-01-01"), "x");
    record.KeepIn(folder, true, 0);
    record.DeleteOldDays(kNoon + 2 * kDay);
    EXPECT_TRUE(Exists(DayFile("2020-01-01")));
}

TEST_F(JobRecordTest, ARecordThatCannotBeWrittenSaysSoAndOneSwitchedOffWritesNothing) {
    WriteFile(dir / "file", "x");
    record.KeepIn(dir / "file/Varnow", true, 90);
    EXPECT_FALSE(record.Write(Entry(kNoon, "/out/A.GLF", JobResult::Sent)));
    EXPECT_FALSE(record.Write(Entry(kNoon + 4, "/out/B.GLF", JobResult::Sent)));

    record.KeepIn(folder, false, 90);
    EXPECT_TRUE(record.Write(Entry(kNoon, "/out/A.GLF", JobResult::Sent)));
    EXPECT_FALSE(Exists(folder));
}

}  // namespace
