#include "relay/RecordLine.h"

#include <gtest/gtest.h>

namespace {

// Stands in for code page 932: Latin-1 bytes to UTF-8, so a test sees whether
// a field was converted, and converted only once.
std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

const platform::LocalTime kNoon{2026, 12, 9, 12, 3, 15};

TEST(RecordLine, HoldsEveryColumnInOrderInUtf8) {
    JobRecordEntry entry;
    entry.job = "C:\\OUT\\caf\xE9.GLF";
    entry.bytes = 4294967296u;
    entry.output = "LPT1";
    entry.result = JobResult::Undeletable;
    entry.detail = u8"café は読み取り専用です";
    entry.milliseconds = 1250;
    entry.waitMilliseconds = 3600007;
    EXPECT_EQ(FormatRecordLine(kNoon, entry, Latin1ToUtf8),
              u8"2026-12-09 12:03:15,C:\\OUT\\café.GLF,4294967296,LPT1,"
              u8"削除できない（1 回だけ出力）,café は読み取り専用です,1.250,3600.007\r\n");

    // Times not taken, e.g. of a job that could not be opened, are empty cells.
    entry.result = JobResult::Sent;
    entry.detail.clear();
    entry.milliseconds = 40;
    entry.waitMilliseconds = -1;
    const platform::LocalTime early{2027, 1, 2, 3, 4, 5};
    EXPECT_EQ(FormatRecordLine(early, entry, Latin1ToUtf8),
              u8"2027-01-02 03:04:05,C:\\OUT\\café.GLF,4294967296,LPT1,出力済み,,0.040,\r\n");

    EXPECT_EQ(RecordFileStart(),
              u8"\xEF\xBB\xBF日時,ジョブ,サイズ（バイト）,出力先,結果,詳細,"
              u8"所要時間（秒）,待ち時間（秒）\r\n");
}

TEST(RecordLine, FieldsWithCommasQuotesOrLineBreaksAreQuoted) {
    EXPECT_EQ(CsvField("C:\\OUT\\JOB1.GLF"), "C:\\OUT\\JOB1.GLF");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("one\r\ntwo"), "\"one\r\ntwo\"");
    EXPECT_EQ(CsvField("\n"), "\"\n\"");
    EXPECT_EQ(CsvField(""), "");

    JobRecordEntry entry;
    entry.job = "C:\\A,B\\\"Q\".GLF";
    entry.output = "\\\\SERVER\\PRINTER,1";
    entry.result = JobResult::OutputUnopenable;
    entry.detail = "line1\nline2";
    EXPECT_EQ(FormatRecordLine(kNoon, entry, Latin1ToUtf8),
              u8"2026-12-09 12:03:15,\"C:\\A,B\\\"\"Q\"\".GLF\",0,\"\\\\SERVER\\PRINTER,1\","
              u8"出力先を開けない,\"line1\nline2\",,\r\n");
}

// Anyone who can write into the search folder chooses the names: a cell a
// spreadsheet would take as a formula is written as text.
TEST(RecordLine, CellsThatWouldBeFormulasAreText) {
    for (const char* formula : {"=1+1", "+1", "-1", "@SUM(A1)", "\t=1", "\r=1", u8"＝1", u8"＠A"})
        EXPECT_EQ(SpreadsheetText(formula), std::string("'") + formula) << formula;
    for (const char* text : {"", "C:\\=1.GLF", "1-1", "a=b", " =1", "'=1", u8"ラベル"})
        EXPECT_EQ(SpreadsheetText(text), text) << text;

    JobRecordEntry entry;
    entry.job = "=HYPERLINK(\"http://x\",\"a\").GLF";
    entry.output = "-LPT1";
    entry.detail = "@x";
    EXPECT_EQ(FormatRecordLine(kNoon, entry, Latin1ToUtf8),
              u8"2026-12-09 12:03:15,\"'=HYPERLINK(\"\"http://x\"\",\"\"a\"\").GLF\",0,'-LPT1,"
              u8"出力済み,'@x,,\r\n");
}

// Lines read back as they were written: a line break inside a quoted field
// stays within its line, the header row and an unfinished last line are left out.
TEST(RecordLine, LinesAreSplitAsWrittenWithTheirDays) {
    JobRecordEntry broken;
    broken.detail = "one\r\ntwo, \"three\"";
    const std::string first = FormatRecordLine(kNoon, broken, Latin1ToUtf8);
    const std::string second =
        FormatRecordLine({2027, 1, 2, 3, 4, 5}, JobRecordEntry(), Latin1ToUtf8);
    EXPECT_EQ(SplitRecordLines(RecordFileStart() + first + second + "2027-01-02 03:04"),
              (std::vector<std::string>{first, second}));
    EXPECT_EQ(SplitRecordLines(second + first), (std::vector<std::string>{second, first}));
    EXPECT_EQ(DayOfLine(first), "2026-12-09");
    EXPECT_EQ(DayOfLine(second), "2027-01-02");
    EXPECT_EQ(DayOfLine(RecordFileStart()), "");
    EXPECT_EQ(DayOfLine("2026-12"), "");
}

TEST(RecordLine, DayFileNames) {
    EXPECT_EQ(DayFileName("2026-01-05"), "2026-01-05.csv");
    EXPECT_EQ(SecondDayFileName("2026-01-05"), "2026-01-05-2.csv");
    int64_t day = 0;
    ASSERT_TRUE(ParseDayFileName("2026-01-05.csv", &day));
    EXPECT_EQ(day, DaysSince1970(2026, 1, 5));
    day = 0;
    ASSERT_TRUE(ParseDayFileName("2026-01-05-2.csv", &day));
    EXPECT_EQ(day, DaysSince1970(2026, 1, 5));
    ASSERT_TRUE(ParseDayFileName("2024-02-29.CSV", &day));
    EXPECT_EQ(day, 19782);
    for (const char* other :
         {"2026-1-05.csv", "2026-13-01.csv", "2026-01-00.csv", "notes.csv", "2026-01-05.csv.bak",
          "2026-01-05.txt", "2026_01_05.csv", "2026-01-05-3.csv", "2026-01-05-2.csv.new"}) {
        EXPECT_FALSE(ParseDayFileName(other, &day)) << other;
    }

    EXPECT_EQ(DaysSince1970(1970, 1, 1), 0);
    EXPECT_EQ(DaysSince1970(1969, 12, 31), -1);
    EXPECT_EQ(DaysSince1970(2000, 3, 1), 11017);
    EXPECT_EQ(DaysSince1970(2026, 12, 9) - DaysSince1970(2026, 9, 10), 90);
}

}  // namespace
