#include "relay/UnopenableJobs.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using testing_support::FileEntry;

class UnopenableJobsTest : public ::testing::Test {
protected:
    testing_support::ScriptedFileSystem fs;
    UnopenableJobs jobs{platform::IsLeadByteSjis};
    const std::string path = "C:\\OUT\\?.GLF";  // as the search names a file the code page cannot spell
};

TEST_F(UnopenableJobsTest, BacksOffFromHalfAMinuteDoublingUpToTenMinutes) {
    fs.listings["C:\\OUT\\*"] = {FileEntry("?.GLF", 10, 5)};
    EXPECT_FALSE(jobs.PassesOver(path, 10, 5, 0));
    int64_t now = 1000;
    for (const int64_t backOff : {30, 60, 120, 240, 480, 600, 600}) {
        SCOPED_TRACE(backOff);
        jobs.Remember(fs, path, now);
        EXPECT_TRUE(jobs.PassesOver(path, 10, 5, now + backOff - 1));
        EXPECT_FALSE(jobs.PassesOver(path, 10, 5, now + backOff));
        now += backOff;
    }
}

// Two names the code page lacks are both listed as "?.GLF": each failure
// must pass over the file the search took, not the first one twice.
TEST_F(UnopenableJobsTest, TellsApartFilesListedUnderOneName) {
    fs.listings["C:\\OUT\\*"] = {FileEntry("X.GLF", 1, 1), FileEntry("?.GLF", 10, 5), FileEntry("?.GLF", 20, 6)};
    jobs.Remember(fs, path, 0);
    jobs.Remember(fs, path, 1);
    EXPECT_TRUE(jobs.PassesOver(path, 10, 5, 29));
    EXPECT_TRUE(jobs.PassesOver(path, 20, 6, 30));
    EXPECT_FALSE(jobs.PassesOver("C:\\OUT\\X.GLF", 1, 1, 1));
}

TEST_F(UnopenableJobsTest, ForgetsFilesThatChangeOrGo) {
    fs.listings["C:\\OUT\\*"] = {FileEntry("?.GLF", 10, 5)};
    fs.listings["D:\\IN\\*"] = {FileEntry("LONG.GLF", 7, 7)};
    jobs.Remember(fs, path, 0);
    jobs.Remember(fs, "D:\\IN\\LONG.GLF", 0);
    jobs.ForgetChanged(fs);
    EXPECT_TRUE(jobs.PassesOver(path, 10, 5, 1));
    EXPECT_TRUE(jobs.PassesOver("D:\\IN\\LONG.GLF", 7, 7, 1));

    fs.listings["C:\\OUT\\*"] = {FileEntry("?.GLF", 11, 5)};
    fs.listings["D:\\IN\\*"].clear();
    jobs.ForgetChanged(fs);
    EXPECT_FALSE(jobs.PassesOver(path, 10, 5, 1));
    EXPECT_FALSE(jobs.PassesOver("D:\\IN\\LONG.GLF", 7, 7, 1));

    // Back in its old state, the file starts again at the shortest back-off.
    fs.listings["C:\\OUT\\*"] = {FileEntry("?.GLF", 10, 5)};
    jobs.Remember(fs, path, 100);
    EXPECT_FALSE(jobs.PassesOver(path, 10, 5, 130));
}

}  // namespace
