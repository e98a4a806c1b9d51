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

TEST_F(UndeletableMemory, SurvivesARestartThroughItsStore) {
    stored["C:\\OUT\\X.GLF"] = "12 x 3";
    stored["C:\\OUT\\Y.GLF"] = "-1 2 3";
    stored["C:\\OUT\\Z.GLF"] = "1 2 3 ";
    Restart();
    EXPECT_TRUE(stored.empty()) << "values not in the memory's form are dropped";

    const std::string table = "C:\\OUT\\\x95\x5C.GLF";  // 表.GLF
    memory->Remember("C:\\OUT\\A.GLF", 1241, 134097543210000000u);
    memory->Remember(table, 0, 7);
    memory->Remember("C:\\OUT\\A.GLF", 1300, 134097543290000000u);  // changed, stuck again
    EXPECT_EQ((Values{{"C:\\OUT\\A.GLF", "1300 134097543290000000 2"}, {table, "0 7 1"}}), stored);

    Restart();
    EXPECT_TRUE(memory->Contains("C:\\OUT\\A.GLF", 1300, 134097543290000000u));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\A.GLF", 1241, 134097543210000000u));
    EXPECT_TRUE(memory->Contains(table, 0, 7));
    memory->Remember("C:\\OUT\\B.GLF", 1, 1);
    EXPECT_EQ("1 1 3", stored["C:\\OUT\\B.GLF"]) << "the order goes on from the stored one";
}

TEST_F(UndeletableMemory, KeepsOnlyTheNewestEntries) {
    Restart();
    for (int i = 0; i <= 256; ++i) {
        memory->Remember(Job(i), 1, 1);
    }
    EXPECT_EQ(256u, stored.size());
    EXPECT_EQ(0u, stored.count(Job(0)));
    EXPECT_FALSE(memory->Contains(Job(0), 1, 1));
    EXPECT_TRUE(memory->Contains(Job(1), 1, 1));

    // A store that holds more is cut at start-up, oldest first.
    for (int i = 1000; i < 1300; ++i) {
        stored[Job(i)] = "1 1 " + std::to_string(i);
    }
    Restart();
    EXPECT_EQ(256u, stored.size());
    EXPECT_EQ(0u, stored.count(Job(1043)));
    EXPECT_EQ(1u, stored.count(Job(1044)));
    EXPECT_FALSE(memory->Contains(Job(256), 1, 1));
    EXPECT_TRUE(memory->Contains(Job(1299), 1, 1));
}

TEST_F(UndeletableMemory, ForgetsVanishedAndChangedJobsAndTheirStoredEntries) {
    using testing_support::FileEntry;
    Restart();
    for (const char* name : {"SAME", "GONE", "GREW", "TOUCHED", "NOWDIR"}) {
        memory->Remember("C:\\OUT\\" + std::string(name) + ".GLF", 10, 5);
    }
    testing_support::ScriptedFileSystem fs;
    fs.listings["C:\\OUT\\SAME.GLF"] = {FileEntry("SAME.GLF", 10, 5)};
    fs.listings["C:\\OUT\\GREW.GLF"] = {FileEntry("GREW.GLF", 11, 5)};
    fs.listings["C:\\OUT\\TOUCHED.GLF"] = {FileEntry("TOUCHED.GLF", 10, 6)};
    fs.listings["C:\\OUT\\NOWDIR.GLF"] = {testing_support::DirectoryEntry("NOWDIR.GLF")};
    memory->ForgetChanged(fs);
    EXPECT_EQ((Values{{"C:\\OUT\\SAME.GLF", "10 5 0"}}), stored);
    EXPECT_TRUE(memory->Contains("C:\\OUT\\SAME.GLF", 10, 5));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\GONE.GLF", 10, 5));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\GREW.GLF", 10, 5));
    EXPECT_FALSE(memory->Contains("C:\\OUT\\TOUCHED.GLF", 10, 5));
}

}  // namespace
