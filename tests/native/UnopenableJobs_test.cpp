#include "relay/UnopenableJobs.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using testing_support::Everywhere;
using testing_support::Identity;
using testing_support::FileEntry;

class UnopenableJobsTest : public ::testing::Test {
protected:
    void Poll() {
        FolderSnapshot folders(fs, platform::IsLeadByteSjis);
        jobs.ForgetChanged(folders, Everywhere);
    }

    testing_support::ScriptedFileSystem fs;
    UnopenableJobs jobs{platform::IsLeadByteSjis};
    const std::string path = "C:\\OUT\\" + std::string(200, 'L') + ".GLF";  // too long to open
};

TEST_F(UnopenableJobsTest, BacksOffFromHalfAMinuteDoublingUpToTenMinutes) {
    fs.listings["C:\\OUT\\*"] = {FileEntry(path.substr(7), 10, 5)};
    EXPECT_FALSE(jobs.Knows(path, Identity(10, 5)));
    int64_t now = 1000;
    for (const int64_t backOff : {30, 60, 120, 240, 480, 600, 600}) {
        SCOPED_TRACE(backOff);
        jobs.Remember(fs, path, now);
        EXPECT_TRUE(jobs.PassesOver(path, Identity(10, 5), now + backOff - 1));
        EXPECT_FALSE(jobs.PassesOver(path, Identity(10, 5), now + backOff));
        EXPECT_TRUE(jobs.Knows(path, Identity(10, 5)));
        now += backOff;
    }
}

// A name the listing spells only approximately is not this file.
TEST_F(UnopenableJobsTest, NotesOnlyAFileListedUnderItsExactName) {
    platform::DirEntry approximate = FileEntry("X.GLF", 10, 5);
    approximate.exactName = false;
    fs.listings["C:\\OUT\\*"] = {approximate};
    jobs.Remember(fs, "C:\\OUT\\X.GLF", 0);
    EXPECT_FALSE(jobs.Knows("C:\\OUT\\X.GLF", Identity(10, 5)));
}

TEST_F(UnopenableJobsTest, ForgetsFilesThatChangeOrGoButNotOnAFailedListing) {
    fs.listings["C:\\OUT\\*"] = {FileEntry(path.substr(7), 10, 5)};
    fs.listings["D:\\IN\\*"] = {FileEntry("LONG.GLF", 7, 7)};
    jobs.Remember(fs, path, 0);
    jobs.Remember(fs, "D:\\IN\\LONG.GLF", 0);
    Poll();  // neither folder can be listed: a drive not back yet
    EXPECT_TRUE(jobs.PassesOver(path, Identity(10, 5), 1));
    EXPECT_TRUE(jobs.PassesOver("D:\\IN\\LONG.GLF", Identity(7, 7), 1));

    fs.folders["C:\\OUT\\"] = {FileEntry(path.substr(7), 11, 5)};
    fs.folders["D:\\IN\\"] = {};
    Poll();
    EXPECT_FALSE(jobs.Knows(path, Identity(10, 5)));
    EXPECT_FALSE(jobs.Knows("D:\\IN\\LONG.GLF", Identity(7, 7)));

    // Back in its old state, the file starts again at the shortest back-off.
    jobs.Remember(fs, path, 100);
    EXPECT_FALSE(jobs.PassesOver(path, Identity(10, 5), 130));
}

}  // namespace
