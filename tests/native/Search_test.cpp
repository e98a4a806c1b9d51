#include "relay/Search.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using testing_support::Everywhere;
using testing_support::Identity;
using testing_support::DirectoryEntry;
using testing_support::FileEntry;
using Paths = std::vector<std::string>;

class PatternWalk : public ::testing::Test {
protected:
    bool Search(const std::string& patterns, platform::LeadByteTest isLeadByte = platform::IsLeadByteSjis) {
        return FindTargetFile(folder, patterns, found, fs, undeletable, isLeadByte);
    }

    testing_support::ScriptedFileSystem fs;
    UndeletableJobs undeletable;
    std::string folder = "C:\\OUT";
    std::string found = "unchanged";
};

TEST_F(PatternWalk, EmptyListSearchesNothing) {
    EXPECT_FALSE(Search(""));
    EXPECT_TRUE(fs.searched.empty());
    EXPECT_EQ("C:\\OUT", folder);
    EXPECT_EQ("unchanged", found);
}

TEST_F(PatternWalk, JoinsFolderAndEntryName) {
    fs.listings["C:\\OUT\\*.GLF"] = {FileEntry("JOB1.GLF")};
    EXPECT_TRUE(Search("*.GLF"));
    EXPECT_EQ(Paths{"C:\\OUT\\*.GLF"}, fs.searched);
    EXPECT_EQ("C:\\OUT\\JOB1.GLF", found);
    EXPECT_EQ("C:\\OUT\\", folder);  // the caller's folder keeps the backslash
}

TEST_F(PatternWalk, TrailingBackslashIsPerCharacter) {
    folder = "C:\\OUT\\";
    Search("*.GLF");
    folder = "C:\\OUT/";
    Search("*.GLF");
    folder = "C:\\\x95\x5C";  // 表 ends in byte 0x5C but is no backslash
    Search("*.GLF");
    EXPECT_EQ((Paths{"C:\\OUT\\*.GLF", "C:\\OUT/\\*.GLF", "C:\\\x95\x5C\\*.GLF"}), fs.searched);

    folder = "C:\\\x95\x5C";
    Search("*.GLF", platform::IsLeadByteNone);
    EXPECT_EQ("C:\\\x95\x5C*.GLF", fs.searched.back()) << "single-byte: 0x5C is a backslash";
    EXPECT_EQ("C:\\\x95\x5C", folder);
}

TEST_F(PatternWalk, EmptyFolderSearchesRelativeToCurrentDirectory) {
    folder.clear();
    fs.listings["*.GLF"] = {FileEntry("JOB1.GLF")};
    EXPECT_TRUE(Search("*.GLF"));
    EXPECT_EQ("", folder);
    EXPECT_EQ("JOB1.GLF", found);
}

TEST_F(PatternWalk, EmptyPatternsAreSkippedOneSemicolonAtATime) {
    EXPECT_FALSE(Search(";*.GLF;;*.PRN;"));
    EXPECT_EQ((Paths{"C:\\OUT\\*.GLF", "C:\\OUT\\*.PRN"}), fs.searched);
    EXPECT_EQ("unchanged", found);
}

TEST_F(PatternWalk, BlanksBelongToThePattern) {
    Search("*.GLF; *.PRN");
    EXPECT_EQ((Paths{"C:\\OUT\\*.GLF", "C:\\OUT\\ *.PRN"}), fs.searched);
}

TEST_F(PatternWalk, FirstMatchingPatternWins) {
    fs.listings["C:\\OUT\\*.GLF"] = {FileEntry("B.GLF")};
    fs.listings["C:\\OUT\\*.PRN"] = {FileEntry("A.PRN")};
    EXPECT_TRUE(Search("*.PRN;*.GLF"));
    EXPECT_EQ("C:\\OUT\\A.PRN", found);
    EXPECT_EQ(Paths{"C:\\OUT\\*.PRN"}, fs.searched);
}

TEST_F(PatternWalk, PassesOverDirectories) {
    fs.listings["C:\\OUT\\*"] = {DirectoryEntry("."), DirectoryEntry(".."), DirectoryEntry("SUB"),
                                 FileEntry("JOB.GLF")};
    EXPECT_TRUE(Search("*"));
    EXPECT_EQ("C:\\OUT\\JOB.GLF", found);

    fs.listings["C:\\OUT\\*.D"] = {DirectoryEntry("X.D")};
    EXPECT_FALSE(Search("*.D"));
}

TEST_F(PatternWalk, PassesOverRememberedJobsUntilTheyChange) {
    fs.listings["C:\\OUT\\*.GLF"] = {FileEntry("STUCK.GLF", 10, 5), FileEntry("NEXT.GLF")};
    undeletable.Remember("C:\\OUT\\STUCK.GLF", testing_support::Identity(10, 5));
    EXPECT_TRUE(Search("*.GLF"));
    EXPECT_EQ("C:\\OUT\\NEXT.GLF", found);

    fs.listings["C:\\OUT\\*.GLF"] = {FileEntry("STUCK.GLF", 11, 5)};
    EXPECT_TRUE(Search("*.GLF"));
    EXPECT_EQ("C:\\OUT\\STUCK.GLF", found);
}

TEST_F(PatternWalk, FoundPathNamesThePatternsFolder) {
    fs.listings["C:\\OUT\\SUB\\*.GLF"] = {FileEntry("JOB.GLF")};
    EXPECT_TRUE(Search("SUB\\*.GLF"));
    EXPECT_EQ("C:\\OUT\\SUB\\JOB.GLF", found);

    fs.listings["C:\\OUT\\A/B\\x*"] = {FileEntry("x1")};
    EXPECT_TRUE(Search("A/B\\x*"));
    EXPECT_EQ("C:\\OUT\\A/B\\x1", found);

    // A drive alone is a folder part too.
    folder.clear();
    fs.listings["D:*.GLF"] = {FileEntry("JOB.GLF")};
    EXPECT_TRUE(Search("D:*.GLF"));
    EXPECT_EQ("D:JOB.GLF", found);
    folder = "C:\\OUT";

    // The 0x5C of 表 does not end a folder part.
    fs.listings["C:\\OUT\\\x95\x5C*"] = {FileEntry("\x95\x5C.GLF")};
    EXPECT_TRUE(Search("\x95\x5C*"));
    EXPECT_EQ("C:\\OUT\\\x95\x5C.GLF", found);
}

// However many strays sit in the folder, from the start or once their
// back-offs run out, the job behind them is taken in the same search: each
// stray costs a quick open there, no relay and no count.
TEST_F(PatternWalk, StraysCostAQuickOpenNotARelay) {
    UnopenableJobs unopenable(platform::IsLeadByteSjis);
    fs.listings["C:\\OUT\\*"] = {FileEntry("HEAD.GLF"), FileEntry("OUT.GLF")};
    for (int i = 0; i < 200; ++i) {
        const std::string stray = "S" + std::to_string(i) + ".GLF";
        fs.listings["C:\\OUT\\*"].push_back(FileEntry(stray, 10, 5));
        fs.probeAnswers["C:\\OUT\\" + stray] = platform::Probe::Unopenable;
    }
    fs.listings["C:\\OUT\\*"].push_back(FileEntry("JOB.GLF"));
    SearchExclusions exclusions{{"C:\\OUT\\OUT.GLF", "C:\\OUT\\HEAD.GLF", ""}, &unopenable, 100};
    const auto search = [&] {
        found = "unchanged";
        fs.probed.clear();
        return FindTargetFile(folder, "*", found, fs, undeletable, platform::IsLeadByteSjis, exclusions);
    };
    EXPECT_TRUE(search());
    EXPECT_EQ("C:\\OUT\\JOB.GLF", found);
    EXPECT_EQ(201u, fs.probed.size()) << "each stray opened once, then the job";
    EXPECT_TRUE(unopenable.PassesOver("C:\\OUT\\S199.GLF", Identity(10, 5), 129));

    fs.listings["C:\\OUT\\*"].pop_back();
    EXPECT_FALSE(search());
    EXPECT_TRUE(fs.probed.empty()) << "passed over while their back-offs run";

    exclusions.now = 1000;  // every back-off has run out
    fs.listings["C:\\OUT\\*"].push_back(FileEntry("JOB2.GLF"));
    EXPECT_TRUE(search());
    EXPECT_EQ("C:\\OUT\\JOB2.GLF", found) << "a fresh job before any stray";
    fs.listings["C:\\OUT\\*"].pop_back();
    EXPECT_FALSE(search());
    EXPECT_EQ(200u, fs.probed.size()) << "each due stray tried once";
    EXPECT_TRUE(unopenable.PassesOver("C:\\OUT\\S7.GLF", Identity(10, 5), 1059)) << "and passed over longer";

    exclusions.now = 1060;
    fs.probeAnswers["C:\\OUT\\S7.GLF"] = platform::Probe::Busy;
    EXPECT_TRUE(search());
    EXPECT_EQ("C:\\OUT\\S7.GLF", found) << "a stray that opens now is a job again";
}

// A name the listing spells with a separator, a drive, "..", a wildcard, or
// only approximately would lead the worker to another file, even one outside
// the folder; a trailing dot or blank is stripped by the system; a device's
// name opens the device.
TEST_F(PatternWalk, PassesOverNamesThatWouldNameAnotherFile) {
    platform::DirEntry approximate = FileEntry("A.GLF");
    approximate.exactName = false;
    fs.listings["C:\\OUT\\*"] = {FileEntry("a\\b.GLF"), FileEntry("..\\OUTSIDE.GLF"), FileEntry("x/y.GLF"),
                                 FileEntry("C:X.GLF"),  FileEntry("?.GLF"),           FileEntry(".."),
                                 FileEntry("J.GLF."),   FileEntry("J.GLF "),          FileEntry("T\t.GLF"),
                                 FileEntry("nul.GLF"),  FileEntry("COM1 .GLF"),       FileEntry("Lpt0.GLF"),
                                 FileEntry("CONIN$.GLF"), approximate};
    EXPECT_FALSE(Search("*"));
    fs.listings["C:\\OUT\\*"].push_back(FileEntry("\x95\x5C.GLF"));  // 表: its second byte is 0x5C
    EXPECT_TRUE(Search("*"));
    EXPECT_EQ("C:\\OUT\\\x95\x5C.GLF", found);
}

class FolderSearch : public ::testing::Test {
protected:
    bool Search(const std::string& patterns) {
        return FindTargetFile(folder, patterns, found, platform::SystemFileSystem(), undeletable,
                              platform::IsLeadByteSystem);
    }

    void ForgetChanged() {
        FolderSnapshot folders(platform::SystemFileSystem(), platform::IsLeadByteSystem);
        undeletable.ForgetChanged(folders, Everywhere);
    }

    testing_support::TempDir dir;
    UndeletableJobs undeletable;
    std::string folder = dir.path();
    std::string found;
};

TEST_F(FolderSearch, FindsEachMatchingFileOnceDeletedOneByOne) {
    testing_support::WriteFile(dir / "a.glf", "a");
    testing_support::WriteFile(dir / "B.GLF", "b");
    testing_support::WriteFile(dir / "c.Glf", "c");
    testing_support::WriteFile(dir / "d.prn", "d");
    std::filesystem::create_directory(dir / "sub.glf");
    std::set<std::string> relayed;
    while (Search("*.GLF")) {
        ASSERT_TRUE(relayed.insert(found).second) << found;
        ASSERT_TRUE(std::filesystem::remove(platform::posix::ToNativePath(found))) << found;
    }
    const std::string prefix = dir.path() + "\\";
    EXPECT_EQ((std::set<std::string>{prefix + "a.glf", prefix + "B.GLF", prefix + "c.Glf"}), relayed);
    EXPECT_TRUE(testing_support::Exists(dir / "d.prn"));
}

TEST_F(FolderSearch, NeverTakesTheOutputHeaderOrFooterHoweverSpelt) {
    testing_support::WriteFile(dir / "out.glf", "o");
    testing_support::WriteFile(dir / "head.glf", "h");
    testing_support::WriteFile(dir / "foot.glf", "f");
    const SearchExclusions exclusions{
        {dir / "./out.glf", dir.path() + "\\head.glf", dir / "sub/../foot.glf"}};
    std::filesystem::create_directory(dir / "sub");
    EXPECT_FALSE(FindTargetFile(folder, "*", found, platform::SystemFileSystem(), undeletable,
                                platform::IsLeadByteSystem, exclusions));
    testing_support::WriteFile(dir / "job.glf", "j");
    EXPECT_TRUE(FindTargetFile(folder, "*", found, platform::SystemFileSystem(), undeletable,
                               platform::IsLeadByteSystem, exclusions));
    EXPECT_EQ(dir.path() + "\\job.glf", found);
}

TEST_F(FolderSearch, MissingFolderOrNoMatchFindsNothing) {
    EXPECT_FALSE(Search("*.GLF"));
    folder = dir / "missing";
    testing_support::WriteFile(dir / "x.glf", "x");
    EXPECT_FALSE(Search("*.GLF"));
}

TEST_F(FolderSearch, PassesOverARememberedFileUntilItChanges) {
    const std::string job = dir / "stuck.glf";
    testing_support::WriteFile(job, "12345");
    ASSERT_TRUE(Search("*.glf"));
    platform::DirEntry entry;
    ASSERT_TRUE(platform::SystemFileSystem().FindFirst(found, [](const platform::DirEntry&) { return true; },
                                                       &entry));
    undeletable.Remember(found, testing_support::Identity(entry.size, entry.lastWrite));
    EXPECT_FALSE(Search("*.glf"));

    testing_support::WriteFile(job, "123456");
    EXPECT_TRUE(Search("*.glf"));
}

// A stuck job that went away is forgotten, so a new job that happens to get
// the same name, size and time is still relayed.
TEST_F(FolderSearch, ForgetsARememberedFileOnceItIsGone) {
    const std::string job = dir / "again.glf";
    testing_support::WriteFile(job, "12345");
    ASSERT_TRUE(Search("*.glf"));
    platform::DirEntry entry;
    const auto any = [](const platform::DirEntry&) { return true; };
    ASSERT_TRUE(platform::SystemFileSystem().FindFirst(found, any, &entry));
    undeletable.Remember(found, testing_support::Identity(entry.size, entry.lastWrite));
    ForgetChanged();
    EXPECT_FALSE(Search("*.glf")) << "still there unchanged: still passed over";

    const auto stamp = std::filesystem::last_write_time(job);
    std::filesystem::remove(job);
    ForgetChanged();
    testing_support::WriteFile(job, "12345");
    std::filesystem::last_write_time(job, stamp);
    EXPECT_TRUE(Search("*.glf"));
}

}  // namespace
