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

    seen.stalledSeconds = 30;
    board.Observe(seen);
    EXPECT_EQ(u8"プリンターが応答しません（JOB4.GLF、30 秒）", board.StatusLine());

    seen.folderUnreachable = true;
    seen.folder = "N:\\JOBS";
    board.Observe(seen);
    EXPECT_EQ(u8"検索位置 N:\\JOBS を開けません", board.StatusLine());
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

}  // namespace
