#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include <set>

#include "TestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// Plays the producer that still holds a job file (or a printer port) open.
class HeldLock {
public:
    explicit HeldLock(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_GE(m_fd, 0);
        EXPECT_EQ(0, flock(m_fd, LOCK_EX | LOCK_NB));
    }
    ~HeldLock() { close(m_fd); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int m_fd;
};

std::vector<std::string> Matches(const std::string& path, bool filesOnly = false) {
    std::vector<std::string> names;
    platform::DirEntry entry;
    platform::SystemFileSystem().FindFirst(
        path,
        [&](const platform::DirEntry& e) {
            if (!filesOnly || !e.isDirectory) {
                names.push_back(e.name);
            }
            return false;
        },
        &entry);
    std::sort(names.begin(), names.end());
    return names;
}

class PosixPlatform : public ::testing::Test {
protected:
    testing_support::TempDir dir;
    platform::FileSystem& fs = platform::SystemFileSystem();
};

TEST_F(PosixPlatform, FindFirstMatchesLikeWindows) {
    WriteFile(dir / "JOB1.GLF", "12345");
    WriteFile(dir / "readme", "");
    std::filesystem::create_directory(dir / "SUB.glf");
    using Names = std::vector<std::string>;
    EXPECT_EQ((Names{"JOB1.GLF", "SUB.glf"}), Matches(dir / "*.glf"));
    EXPECT_EQ((Names{".", "..", "JOB1.GLF", "SUB.glf", "readme"}), Matches(dir / "*.*"));
    EXPECT_EQ((Names{"JOB1.GLF", "readme"}), Matches(dir / "*", true));
    EXPECT_EQ((Names{"JOB1.GLF"}), Matches(dir.path() + "\\job1.glf"));
    EXPECT_TRUE(Matches(dir.path() + "/").empty());
    EXPECT_TRUE(Matches(dir / "missing/*").empty());
}

// "?" also matches the folder's own entry ".", whose time is that of the
// file's creation and can lie a clock tick before the file's last write: only
// the file may be compared with itself. Its time is set so that the exact
// value can be checked.
TEST_F(PosixPlatform, FindFirstReportsKindSizeAndLastWriteTime) {
    WriteFile(dir / "a", "12345");
    const auto stamp = std::filesystem::last_write_time(dir / "a") - std::chrono::hours(1);
    std::filesystem::last_write_time(dir / "a", stamp);
    platform::DirEntry first, second;
    const auto any = [](const platform::DirEntry&) { return true; };
    ASSERT_TRUE(fs.FindFirst(dir / "a", any, &first));
    EXPECT_FALSE(first.isDirectory);
    EXPECT_EQ(5u, first.size);
    ASSERT_TRUE(fs.FindFirst(
        dir / "?", [](const platform::DirEntry& e) { return !e.isDirectory; }, &second));
    EXPECT_EQ(first.lastWrite, second.lastWrite);
    std::filesystem::last_write_time(dir / "a", stamp + std::chrono::milliseconds(1));
    ASSERT_TRUE(fs.FindFirst(dir / "a", any, &second));
    EXPECT_EQ(first.lastWrite + 1000000, second.lastWrite);
    std::filesystem::create_directory(dir / "d");
    ASSERT_TRUE(fs.FindFirst(dir / "d", any, &second));
    EXPECT_TRUE(second.isDirectory);
}

TEST_F(PosixPlatform, ProbeTellsReadyBusyMissingAndUnopenable) {
    const std::string job = dir / "job";
    EXPECT_EQ(platform::Probe::Missing, fs.ProbeExclusive(job));
    EXPECT_EQ(platform::Probe::Unopenable, fs.ProbeExclusive(dir / std::string(300, 'n')));
    WriteFile(job, "x");
    EXPECT_EQ(platform::Probe::Ready, fs.ProbeExclusive(job));
    {
        HeldLock producer(job);
        EXPECT_EQ(platform::Probe::Busy, fs.ProbeExclusive(job));
    }
    EXPECT_EQ(platform::Probe::Ready, fs.ProbeExclusive(job));
    EXPECT_EQ(platform::Probe::Missing, fs.ProbeExclusive(job + "/inside"));
}

TEST_F(PosixPlatform, IsMissingOnlyWhenTheSystemSaysSo) {
    WriteFile(dir / "job", "x");
    EXPECT_FALSE(fs.IsMissing(dir / "job"));
    EXPECT_FALSE(fs.IsMissing(dir.path() + "\\job"));
    EXPECT_TRUE(fs.IsMissing(dir / "gone"));
    EXPECT_TRUE(fs.IsMissing(dir / "gone/job"));
    EXPECT_TRUE(fs.IsMissing(dir / "job/inside"));
    EXPECT_FALSE(fs.IsMissing(dir / std::string(300, 'n'))) << "too long: unknown, not missing";
}

TEST_F(PosixPlatform, SameFileComparesWhatThePathsName) {
    WriteFile(dir / "job", "x");
    WriteFile(dir / "JOB", "y");
    std::filesystem::create_directory(dir / "sub");
    EXPECT_TRUE(fs.SameFile(dir / "job", dir.path() + "\\sub\\..\\job"));
    EXPECT_FALSE(fs.SameFile(dir / "job", dir / "JOB"));
    EXPECT_FALSE(fs.SameFile(dir / "job", dir / "gone"));
    EXPECT_FALSE(fs.SameFile(dir / "sub", dir / "sub"));
    EXPECT_FALSE(fs.SameFile("/dev/null", "/dev/null"));
    EXPECT_FALSE(fs.SameFile("", ""));
}

TEST_F(PosixPlatform, OutputIsExclusiveAndNotTruncatedUntilAsked) {
    const std::string out = dir / "out";
    WriteFile(out, "0123456789");
    {
        HeldLock other(out);
        EXPECT_EQ(nullptr, fs.OpenOutput(out, "", nullptr));
    }
    auto output = fs.OpenOutput(out, "", nullptr);
    ASSERT_NE(nullptr, output);
    EXPECT_EQ(nullptr, fs.OpenOutput(out, "", nullptr)) << "a second open while the job holds it";
    uint32_t written = 0;
    ASSERT_TRUE(output->Write("ab", 2, &written));
    EXPECT_EQ(2u, written);
    EXPECT_EQ("ab23456789", ReadFile(out));
    output->TruncateIfDiskFile();
    EXPECT_EQ("ab", ReadFile(out));
    EXPECT_EQ(nullptr, fs.OpenOutput(dir / "missing/out", "", nullptr));
}

TEST_F(PosixPlatform, OutputCreatesMissingFileAndLeavesDevicesAlone) {
    auto created = fs.OpenOutput(dir / "new", "", nullptr);
    ASSERT_NE(nullptr, created);
    EXPECT_TRUE(testing_support::Exists(dir / "new"));
    auto null = fs.OpenOutput("/dev/null", "", nullptr);
    ASSERT_NE(nullptr, null);
    uint32_t written = 0;
    EXPECT_TRUE(null->Write("abc", 3, &written));
    EXPECT_EQ(3u, written);
    null->TruncateIfDiskFile();
}

TEST_F(PosixPlatform, SourceReadsToEndAndDeleteRemoves) {
    WriteFile(dir / "src", "hello");
    EXPECT_EQ(nullptr, fs.OpenSource(dir / "none"));
    auto source = fs.OpenSource(dir / "src");
    ASSERT_NE(nullptr, source);
    char buffer[8];
    uint32_t got = 0;
    ASSERT_TRUE(source->Read(buffer, 3, &got));
    EXPECT_EQ("hel", std::string(buffer, got));
    ASSERT_TRUE(source->Read(buffer, 8, &got));
    EXPECT_EQ("lo", std::string(buffer, got));
    ASSERT_TRUE(source->Read(buffer, 8, &got));
    EXPECT_EQ(0u, got);
}

// The job deletes itself when closed, and only itself: a file that took its
// name meanwhile stays.
TEST_F(PosixPlatform, JobDeletesItselfWhenClosed) {
    WriteFile(dir / "job", "j");
    EXPECT_EQ(nullptr, fs.OpenJob(dir / "none"));
    auto job = fs.OpenJob(dir / "job");
    ASSERT_NE(nullptr, job);
    EXPECT_EQ(platform::Deletion::Accepted, job->DeleteWhenClosed());
    EXPECT_TRUE(testing_support::Exists(dir / "job"));
    job.reset();
    EXPECT_FALSE(testing_support::Exists(dir / "job"));

    WriteFile(dir / "job", "old");
    job = fs.OpenJob(dir / "job");
    ASSERT_EQ(platform::Deletion::Accepted, job->DeleteWhenClosed());
    WriteFile(dir / "new", "new");
    std::filesystem::rename(dir / "new", dir / "job");
    job.reset();
    EXPECT_EQ("new", ReadFile(dir / "job"));
}

// A listing says what is in a folder only when the folder was read to its end.
TEST_F(PosixPlatform, ListFolderReportsEveryEntryOrFails) {
    WriteFile(dir / "a", "1");
    std::filesystem::create_directory(dir / "sub");
    std::set<std::string> names;
    uint64_t changeTime = 0;
    EXPECT_TRUE(fs.ListFolder(dir.path() + "\\", [&](const platform::DirEntry& entry) {
        names.insert(entry.name + (entry.isDirectory ? "/" : ""));
        if (entry.name == "a") {
            changeTime = entry.changeTime;
        }
    }));
    EXPECT_EQ((std::set<std::string>{"./", "../", "a", "sub/"}), names);
    EXPECT_NE(0u, changeTime);
    EXPECT_FALSE(fs.ListFolder(dir / "gone", [](const platform::DirEntry&) {}));
    EXPECT_FALSE(fs.ListFolder(dir / "a", [](const platform::DirEntry&) {}));
}

TEST(PosixThreads, StartsTheProcedureWithItsArgument) {
    std::atomic<int> seen{0};
    const auto proc = [](void* arg) -> unsigned {
        static_cast<std::atomic<int>*>(arg)->store(42, std::memory_order_release);
        return 0;
    };
    ASSERT_TRUE(platform::SystemThreadStarter().Start(proc, &seen, platform::PriorityIdle));
    while (seen.load(std::memory_order_acquire) == 0) {
        std::this_thread::yield();
    }
    EXPECT_EQ(42, seen.load());
}

// The one rule for "the same version of the same file": a file that took the
// job's index (a name reused at once on FAT or ext4) but differs in size or in
// any known time is another file; an unknown index or change time leaves the
// decision to what is known.
TEST(FileIdentityRule, APlaceAloneProvesNothing) {
    const auto identity = [](uint64_t size, uint64_t write, uint64_t change, uint64_t index) {
        platform::FileIdentity file;
        file.size = size;
        file.lastWrite = write;
        file.changeTime = change;
        file.volume = 7;
        file.index = index;
        return file;
    };
    const platform::FileIdentity sent = identity(100, 5, 9, 42);
    const struct {
        platform::FileIdentity other;
        bool same;
    } cases[] = {
        {identity(100, 5, 9, 42), true},  {identity(101, 5, 9, 42), false}, {identity(100, 6, 9, 42), false},
        {identity(100, 5, 10, 42), false}, {identity(100, 5, 9, 43), false}, {identity(100, 5, 0, 42), true},
        {identity(100, 5, 9, 0), true},    {identity(100, 5, 0, 0), true},   {identity(99, 5, 0, 0), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.same, sent.SameVersionAs(c.other)) << c.other.size << " " << c.other.lastWrite << " "
                                                      << c.other.changeTime << " " << c.other.index;
        EXPECT_EQ(c.same, c.other.SameVersionAs(sent)) << "the rule is symmetric";
    }
}

}  // namespace
