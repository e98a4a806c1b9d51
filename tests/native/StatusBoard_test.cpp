#include "relay/StatusBoard.h"

#include <gtest/gtest.h>

namespace {

std::string Same(const std::string& text) { return text; }

JobOutcome Outcome(JobResult result, const std::string& job = "C:\\OUT\\J.GLF",
                   uint64_t bytes = 1234) {
    JobOutcome outcome;
    outcome.result = result;
    outcome.job = job;
    outcome.bytes = bytes;
    return outcome;
}

platform::LocalTime At(int hour, int minute, int second) {
    platform::LocalTime when;
    when.hour = hour;
    when.minute = minute;
    when.second = second;
    return when;
}

// The most pressing trouble is shown while it stands, the last job sent once
// none does; waits that last too long become troubles of their own.
TEST(StatusBoard, ShowsTheMostPressingTroubleThenTheLastJobSent) {
    StatusBoard board(Same);
    StatusObservation seen;
    seen.output = "LPT1";
    board.Observe(seen);
    EXPECT_EQ("", board.StatusLine());
    EXPECT_FALSE(board.HasTrouble());

    JobOutcome refused = Outcome(JobResult::OutputUnopenable);
    refused.outputFailure = platform::OpenFailure::Busy;
    board.Outcome(refused, At(12, 1, 0));
    board.Outcome(refused, At(12, 1, 4));
    EXPECT_EQ(u8"出力先 LPT1 を開けません（使用中です、12:01 から 2 回）", board.StatusLine());
    EXPECT_EQ(u8"出力先を開けません", board.TroubleShort());

    board.Outcome(Outcome(JobResult::Sent), At(12, 3, 15));
    EXPECT_EQ(u8"12:03:15  J.GLF を出力しました（1,234 バイト）", board.StatusLine());
    EXPECT_FALSE(board.HasTrouble());

    seen.job = "C:\\OUT\\JOB4.GLF";
    seen.companion = "C:\\OUT\\JOB4.OFI";
    seen.companionSeconds = 599;
    board.Observe(seen);
    EXPECT_FALSE(board.HasTrouble());
    seen.companionSeconds = 600;
    board.Observe(seen);
    EXPECT_EQ(u8"JOB4.OFI が 10 分残っています（JOB4.GLF は待機中）", board.StatusLine());

    seen.busySeconds = 45;
    board.Observe(seen);
    EXPECT_EQ(u8"JOB4.GLF は他のプログラムが使用中です（45 秒）", board.StatusLine());
    seen.readStalledSeconds = 30;
    board.Observe(seen);
    EXPECT_EQ(u8"JOB4.GLF の読み込みが進みません（30 秒）", board.StatusLine());

    seen.stalledSeconds = 30;
    board.Observe(seen);
    EXPECT_EQ(u8"プリンターが応答しません（JOB4.GLF、30 秒）", board.StatusLine());

    seen.folderUnreachable = true;
    seen.folder = "N:\\JOBS";
    board.Observe(seen);
    EXPECT_EQ(u8"検索位置 N:\\JOBS を開けません", board.StatusLine());
}

// Without a trouble the line tells the job at hand, a first start's folder,
// or the last job sent; stopped, it says so and keeps a standing trouble;
// an output that opens again and a header that is back clear theirs.
TEST(StatusBoard, TellsThePresent) {
    StatusBoard board(Same);
    StatusObservation seen;
    seen.output = "LPT1";
    seen.header = "C:\\H.BIN";
    seen.unsetFolder = "C:\\ZIP";
    board.Observe(seen);
    EXPECT_EQ(u8"検索位置が設定されていません。起動したフォルダー C:\\ZIP を探しています", board.StatusLine());
    seen.job = "C:\\ZIP\\JOB.GLF";
    seen.companion = "C:\\ZIP\\JOB.OFI";
    seen.phase = WorkerPhase::WaitingForCompanion;
    board.Observe(seen);
    EXPECT_EQ(u8"JOB.GLF の完了を待っています（JOB.OFI）", board.StatusLine());
    seen.phase = WorkerPhase::Reading;
    board.Observe(seen);
    EXPECT_EQ(u8"JOB.GLF を出力しています", board.StatusLine());

    JobOutcome headless = Outcome(JobResult::NoHeaderFooter);
    headless.headerMissing = true;
    board.Outcome(headless, At(8, 0, 0));
    board.Outcome(Outcome(JobResult::OutputUnopenable), At(8, 0, 2));
    EXPECT_TRUE(board.OutputTroubleStands());
    seen = StatusObservation();
    seen.output = "LPT1";
    seen.header = "C:\\H.BIN";
    seen.stopped = true;
    board.Observe(seen);
    EXPECT_EQ(u8"停止中。出力先 LPT1 を開けません（08:00 から 1 回）", board.StatusLine());
    board.OutputOpens();
    board.Observe(seen);
    EXPECT_EQ(u8"停止中。ヘッダーファイル C:\\H.BIN を開けません（ヘッダーなしで出力しました）", board.StatusLine());
    seen.headerBack = true;
    board.Observe(seen);
    EXPECT_EQ(u8"停止中", board.StatusLine());
    EXPECT_FALSE(board.HasTrouble());
    seen.waiting = "OFI";
    board.Observe(seen);
    EXPECT_EQ(u8"停止中。待機ファイルの拡張子が「.」で始まっていません", board.StatusLine());
}

// A line too long for one line breaks at the last place Japanese allows whose
// first line fits, never inside a word.
TEST(StatusBoard, BreaksALongLineWhereJapaneseAllows) {
    const auto within = [](size_t characters) {
        return [characters](const std::string& line) {
            size_t count = 0;
            for (unsigned char c : line) count += (c & 0xC0) != 0x80;
            return count <= characters;
        };
    };
    const std::string stuck = u8"JOB.GLF を削除できません。1 回だけ出力しました。手で削除してください";
    EXPECT_EQ(0u, SecondLineStart(stuck, within(100)));
    EXPECT_EQ(stuck.find(u8"手"), SecondLineStart(stuck, within(30)));
    EXPECT_EQ(stuck.find(u8"1 回"), SecondLineStart(stuck, within(20))) << "a number keeps its counter";
    EXPECT_EQ(stuck.find(u8"を削除"), SecondLineStart(stuck, within(12)));
    const std::string bytes = u8"12:03:15  JOB1.GLF を出力しました（1,234 バイト）";
    EXPECT_EQ(bytes.find(u8"（"), SecondLineStart(bytes, within(30)));
    EXPECT_EQ(0u, SecondLineStart(u8"ジョブファイル", within(3))) << "no place to break";
}

// Lines of the record that wait are a trouble that counts them; a day file
// that has given way to its second file is only named, the record being whole.
TEST(StatusBoard, TellsHowManyRecordLinesWaitAndWhereTheyGo) {
    StatusBoard board(Same);
    board.Outcome(Outcome(JobResult::Sent), At(12, 3, 15));
    StatusObservation seen;
    seen.recordWaiting = 1234;
    board.Observe(seen);
    EXPECT_EQ(u8"記録を書き込めません（1,234 行を保留中、出力は続けています）", board.StatusLine());
    EXPECT_EQ(u8"記録を書き込めません", board.TroubleShort());

    seen.recordWaiting = 0;
    seen.recordSecondDay = "2026-12-09";
    board.Observe(seen);
    EXPECT_EQ(u8"2026-12-09.csv に書き込めないため、記録を 2026-12-09-2.csv に書いています",
              board.StatusLine());
    EXPECT_FALSE(board.HasTrouble());

    seen.recordSecondDay.clear();
    board.Observe(seen);
    EXPECT_EQ(u8"12:03:15  J.GLF を出力しました（1,234 バイト）", board.StatusLine());
}

// What the spooler and the output's parts said reaches the line in words.
TEST(StatusBoard, TellsTheSpoolersAnswersAndAFooterTheOutputRefused) {
    StatusBoard board(Same);
    StatusObservation seen;
    seen.output = "Label";
    board.Observe(seen);
    JobOutcome unlisted = Outcome(JobResult::OutputUnopenable);
    unlisted.outputFailure = platform::OpenFailure::SpoolerUnavailable;
    board.Outcome(unlisted, At(8, 0, 0));
    EXPECT_EQ(u8"出力先 Label を開けません（印刷スプーラーが応答しません、08:00 から 1 回）", board.StatusLine());

    JobOutcome xps = Outcome(JobResult::Sent);
    xps.spooled = {"Label", 7, "XPS_PASS"};
    board.Outcome(xps, At(8, 0, 5));
    EXPECT_EQ(u8"08:00:05  J.GLF を出力しました（1,234 バイト、XPS_PASS）", board.StatusLine());

    JobOutcome noFooter = Outcome(JobResult::NoHeaderFooter);
    noFooter.footerFailed = true;
    board.Outcome(noFooter, At(8, 0, 9));
    EXPECT_EQ(u8"J.GLF のフッターを出力先 Label に出力できませんでした", board.StatusLine());
    EXPECT_EQ(u8"フッターを出力できませんでした", board.TroubleShort());
}

}  // namespace
