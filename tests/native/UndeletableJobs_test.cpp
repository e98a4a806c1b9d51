#include "relay/UndeletableJobs.h"

#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"

namespace {

using Values = std::map<std::string, std::string>;

// The registry's part, played by a map that outlives each run of the memory.
class ScriptedStore : public UndeletableJobs::Store {
public:
    explicit ScriptedStore(Values& values) : m_values(values) {}
    std::vector<std::pair<std::string, std::string>> ReadAll() override {
        return {m_values.begin(), m_values.end()};
    }
    void Write(const std::string& name, const std::string& text) override { m_values[name] = text; }
    void Erase(const std::string& name) override { m_values.erase(name); }

private:
    Values& m_values;
};

class UndeletableMemory : public ::testing::Test {
protected:
    // A new run of the program: a fresh memory on the same store.
    void Restart() {
        memory = std::make_unique<UndeletableJobs>();
        memory->KeepIn(std::make_unique<ScriptedStore>(stored));
    }

    Values stored;
    std::unique_ptr<UndeletableJobs> memory;
};

std::string Job(int number) { return "C:\\OUT\\J" + std::to_string(number) + ".GLF"; }

using testing_support::Everywhere;
using testing_support::FileEntry;
using testing_support::Identity;

TEST_F(UndeletableMemory, SurvivesARestartThroughItsStore) {
    stored["C:\\OUT\\X.GLF"] = "12 x 3";
    stored["C:\\OUT\\Y.GLF"] = "-1 2 3";
    stored["C:\\OUT\\Z.GLF"] = "1 2 3 ";
    stored["C:\\OUT\\OLD.GLF"] = "5 6 40";  // as earlier versions wrote it
    Restart();
    EXPECT_EQ((Values{{"C:\\OUT\\OLD.GLF", "5 6 40"}}), stored) << "values not in the memory's form are dropped";
    EXPECT_TRUE(memory->Contains("C:\\OUT\\OLD.GLF", Identity(5, 6)));

    const std::string table = "C:\\OUT\\\x95\x5C.GLF";  // 表.GLF
    memory->Remember("C:\\OUT\\A.GLF", Identity(1241, 134097543210000000u, 9));
    memory->Remember(table, Identity(0, 7));
    memory->Remember("C:\\OUT\\A.GLF", Identity(1300, 134097543290000000u, 11));  // changed, stuck again
    EXPECT_EQ("1300 134097543290000000 43 11", stored["C:\\OUT\\A.GLF"]) << "the order goes on from the stored one";
    EXPECT_EQ("0 7 42 0", stored[table]);

    Restart();
    EXPECT_TRUE(memory->Contains("C:\\OUT\\A.GLF", Identity(1300, 134097543290000000u)));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\A.GLF", Identity(1241, 134097543210000000u)));
    EXPECT_TRUE(memory->Contains(table, Identity(0, 7)));
}

// A folder of stuck jobs, more than any bound: every one that is still there
// stays remembered, through restarts too.
TEST_F(UndeletableMemory, ForgetsNothingThatIsStillThereHoweverMany) {
    Restart();
    testing_support::ScriptedFileSystem fs;
    for (int i = 0; i < 1000; ++i) {
        memory->Remember(Job(i), Identity(1, 1, 1));
        fs.folders["C:\\OUT\\"].push_back(FileEntry("J" + std::to_string(i) + ".GLF", 1, 1, 1));
    }
    for (int poll = 0; poll < 2; ++poll) {
        FolderSnapshot folders(fs, platform::IsLeadByteSjis);
        memory->ForgetChanged(folders, Everywhere);
        Restart();
    }
    EXPECT_EQ(1000u, memory->Count(""));
    EXPECT_EQ(1000u, stored.size());
    EXPECT_TRUE(memory->Contains(Job(0), Identity(1, 1)));
    EXPECT_TRUE(memory->Contains(Job(999), Identity(1, 1)));
    EXPECT_TRUE(fs.searched.empty()) << "one listing per folder and poll, no search per job";
}

TEST_F(UndeletableMemory, ForgetsVanishedAndChangedJobsAndTheirStoredEntries) {
    Restart();
    for (const char* name : {"SAME", "GONE", "GREW", "TOUCHED", "REWRITTEN", "NOWDIR"}) {
        memory->Remember("C:\\OUT\\" + std::string(name) + ".GLF", Identity(10, 5, 3));
    }
    memory->Remember("C:\\OUT\\OLD.GLF", Identity(10, 5));  // no change time known yet
    memory->Remember("D:\\IN\\AWAY.GLF", Identity(10, 5, 3));
    testing_support::ScriptedFileSystem fs;
    const auto poll = [&] {
        FolderSnapshot folders(fs, platform::IsLeadByteSjis);
        memory->ForgetChanged(folders, Everywhere);
    };
    poll();
    EXPECT_EQ(8u, memory->Count("")) << "folders that cannot be listed forget nothing";

    fs.folders["C:\\OUT\\"] = {FileEntry("SAME.GLF", 10, 5, 3), FileEntry("GREW.GLF", 11, 5, 3),
                               FileEntry("TOUCHED.GLF", 10, 6, 3), FileEntry("REWRITTEN.GLF", 10, 5, 4),
                               testing_support::DirectoryEntry("NOWDIR.GLF"), FileEntry("OLD.GLF", 10, 5, 8)};
    poll();
    EXPECT_EQ((Values{{"C:\\OUT\\SAME.GLF", "10 5 0 3"}, {"C:\\OUT\\OLD.GLF", "10 5 6 8"},
                      {"D:\\IN\\AWAY.GLF", "10 5 7 3"}}),
              stored);
    EXPECT_TRUE(memory->Contains("C:\\OUT\\SAME.GLF", Identity(10, 5)));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\REWRITTEN.GLF", Identity(10, 5)));

    // From now on the old entry knows its change time: a rewrite is seen.
    fs.folders["C:\\OUT\\"] = {FileEntry("SAME.GLF", 10, 5, 3), FileEntry("OLD.GLF", 10, 5, 9)};
    poll();
    EXPECT_FALSE(memory->Contains("C:\\OUT\\OLD.GLF", Identity(10, 5)));
    EXPECT_TRUE(memory->Contains("C:\\OUT\\SAME.GLF", Identity(10, 5)));

    fs.folders.clear();  // the drive drops out mid-run
    poll();
    EXPECT_TRUE(memory->Contains("C:\\OUT\\SAME.GLF", Identity(10, 5)));
    EXPECT_EQ(1u, stored.count("C:\\OUT\\SAME.GLF"));
}

// Only the search folder's stuck jobs count and are looked for on each poll;
// another folder's (a folder no longer searched, a dead server's share) wait
// for a pass of their own. A job whose delete is pending is passed over
// without counting, but kept across runs: still there then, it has stayed.
TEST_F(UndeletableMemory, CountsAndLooksOnlyWhereItIsAsked) {
    Restart();
    memory->Remember("C:\\OUT\\A.GLF", Identity(1, 1, 1));
    memory->Remember("D:\\OLD\\B.GLF", Identity(1, 1, 1));
    memory->RememberGoing("C:\\OUT\\C.GLF", Identity(2, 2, 2));
    EXPECT_EQ(1u, memory->Count("C:\\OUT\\"));
    EXPECT_EQ("C:\\OUT\\A.GLF", memory->Newest("C:\\OUT\\"));
    EXPECT_TRUE(memory->Contains("C:\\OUT\\C.GLF", Identity(2, 2)));
    EXPECT_EQ(1u, stored.count("C:\\OUT\\C.GLF")) << "still there after a restart, it has stayed";

    testing_support::ScriptedFileSystem fs;
    fs.folders["C:\\OUT\\"] = {FileEntry("A.GLF", 1, 1, 1)};
    FolderSnapshot folders(fs, platform::IsLeadByteSjis);
    memory->ForgetChanged(folders, [](const std::string& path) { return IsWithin(path, "C:\\OUT\\"); });
    EXPECT_FALSE(memory->Contains("C:\\OUT\\C.GLF", Identity(2, 2))) << "gone once its delete happened";
    EXPECT_TRUE(memory->Contains("D:\\OLD\\B.GLF", Identity(1, 1))) << "not looked for";
    EXPECT_EQ(1u, memory->Count("D:\\OLD\\"));
}

}  // namespace
