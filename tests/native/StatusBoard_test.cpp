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
