#include "relay/OutputWorker.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "relay/Search.h"

namespace {

using testing_support::Exists;
using testing_support::Pattern;
using testing_support::ReadFile;
using testing_support::WriteFile;

class Locked {
public:
    explicit Locked(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(0, flock(m_fd, LOCK_EX | LOCK_NB));
    }
    ~Locked() { Release(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    void Release() {
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
};

class OutputWorkerTest : public ::testing::Test {
protected:
    OutputJob Job() {
        return OutputJob{job,    ".OFI", output, header, footer, &running, &abort, &bytes, &undeletable,
                         &fs,    &clock, platform::IsLeadByteNone, &unopenable};
    }
    void RunWorker() {
        running = 1;
        OutputThreadProc(new OutputJob(Job()));
        EXPECT_EQ(0, running.load());
    }
    void SetAbort() { abort = 1; }

    testing_support::TempDir dir;
    testing_support::FaultyFileSystem fs;
    testing_support::FakeClock clock;
    UndeletableJobs undeletable;
    UnopenableJobs unopenable{platform::IsLeadByteNone};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> abort{0};
    std::atomic<uint32_t> bytes{0};
    std::string job = dir / "JOB1.GLF";
    std::string companion = dir / "JOB1.OFI";
    std::string output = dir / "out.prn";
    std::string header;
    std::string footer;
};

TEST_F(OutputWorkerTest, WritesHeaderJobFooterInOrderAndDeletesTheJob) {
    header = dir / "head";
    footer = dir / "foot";
    WriteFile(header, Pattern(300, 1));
    WriteFile(job, Pattern(1000, 2));
    WriteFile(footer, Pattern(10, 3));
    RunWorker();
    EXPECT_EQ(Pattern(300, 1) + Pattern(1000, 2) + Pattern(10, 3), ReadFile(output));
    EXPECT_FALSE(Exists(job));
    EXPECT_TRUE(Exists(header));
    EXPECT_TRUE(Exists(footer));
    EXPECT_EQ(1310u, bytes.load());
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(OutputWorkerTest, WithoutHeaderAndFooterOnlyTheJobIsWritten) {
    WriteFile(job, "payload");
    RunWorker();
    EXPECT_EQ("payload", ReadFile(output));
    EXPECT_EQ(7u, bytes.load());
}

TEST_F(OutputWorkerTest, EmptyJobStillGetsHeaderAndFooterAndIsDeleted) {
    header = dir / "head";
    footer = dir / "foot";
    WriteFile(header, "H");
    WriteFile(footer, "F");
    WriteFile(job, "");
    RunWorker();
    EXPECT_EQ("HF", ReadFile(output));
    EXPECT_FALSE(Exists(job));
}

TEST_F(OutputWorkerTest, MissingHeaderIsLeftOut) {
    header = dir / "no-such-header";
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, "J");
    RunWorker();
    EXPECT_EQ("JF", ReadFile(output));
    EXPECT_EQ(2u, bytes.load());
}

TEST_F(OutputWorkerTest, CopiesIn256ByteChunksAcrossBoundaries) {
    for (size_t size : {1u, 255u, 256u, 257u, 512u, 70000u}) {
        SCOPED_TRACE(size);
        WriteFile(job, Pattern(size));
        fs.writeFaults.writes = 0;
        bytes = 0;
        RunWorker();
        EXPECT_EQ(Pattern(size), ReadFile(output));
        EXPECT_EQ(static_cast<int>((size + 255) / 256), fs.writeFaults.writes);
        EXPECT_EQ(size, bytes.load());
    }
}

TEST_F(OutputWorkerTest, ByteCounterWrapsAround) {
    bytes = 0xFFFFFF00u;
    WriteFile(job, Pattern(512));
    OutputThreadProc(new OutputJob(Job()));
    EXPECT_EQ(0x100u, bytes.load());
}

TEST_F(OutputWorkerTest, ShortenedOutputIsCutWhereTheJobEnds) {
    WriteFile(output, Pattern(1000, 9));
    WriteFile(job, Pattern(300));
    RunWorker();
    EXPECT_EQ(Pattern(300), ReadFile(output));
}

TEST_F(OutputWorkerTest, RelaysToADevice) {
    output = "/dev/null";
    WriteFile(job, Pattern(600));
    RunWorker();
    EXPECT_FALSE(Exists(job));
    EXPECT_EQ(600u, bytes.load());
}

TEST_F(OutputWorkerTest, OutputHeldElsewhereLeavesTheJobUntouched) {
    WriteFile(output, "");
    Locked printerInUse(output);
    WriteFile(job, "J");
    RunWorker();
    EXPECT_TRUE(Exists(job));
    EXPECT_EQ("", ReadFile(output));
    EXPECT_EQ(0u, bytes.load());
}

TEST(CompanionPath, DriveFolderAndBaseNameWithSuffix) {
    const auto path = [](const std::string& found, const std::string& suffix = ".OFI") {
        return CompanionPath(found, suffix, platform::IsLeadByteSjis);
    };
    EXPECT_EQ("C:\\OUT\\JOB1.OFI", path("C:\\OUT\\JOB1.GLF"));
    EXPECT_EQ("C:\\OUT\\A.B.OFI", path("C:\\OUT\\A.B.GLF"));
    EXPECT_EQ("C:\\OUT\\JOB1.OFI", path("C:\\OUT\\JOB1"));
    EXPECT_EQ("C:\\OUT\\.OFI", path("C:\\OUT\\.GLF"));
    EXPECT_EQ("C:\\OUT\\JOB1", path("C:\\OUT\\JOB1.GLF", ""));
    EXPECT_EQ("C:JOB1.OFI", path("C:JOB1.GLF"));
    EXPECT_EQ("/tmp/a.d/JOB1.OFI", path("/tmp/a.d/JOB1.GLF"));
    EXPECT_EQ("JOB1*", path("JOB1.GLF", "*"));
    // 表 (0x95 0x5C) in the folder and in the name.
    EXPECT_EQ("C:\\\x95\x5C\\\x95\x5C.OFI", path("C:\\\x95\x5C\\\x95\x5C.GLF"));
}

TEST(CompanionPath, LongPartsAreCut) {
    const std::string folder = std::string(300, 'd') + "\\";
    const std::string base(300, 'b');
    EXPECT_EQ("C:" + folder.substr(0, 255) + base.substr(0, 255) + ".OFI",
              CompanionPath("C:" + folder + base + ".GLF", ".OFI", platform::IsLeadByteSjis));
}

TEST_F(OutputWorkerTest, WaitsForTheCompanionToGo) {
    WriteFile(job, "J");
    WriteFile(companion, "");
    clock.onSleep = [&] {
        if (clock.sleeps.size() == 2) {
            std::filesystem::remove(companion);
        }
    };
    RunWorker();
    EXPECT_EQ((std::vector<uint32_t>{500, 500}), clock.sleeps);
    EXPECT_EQ("J", ReadFile(output));
}

TEST_F(OutputWorkerTest, ADirectoryCountsAsCompanion) {
    WriteFile(job, "J");
    std::filesystem::create_directory(companion);
    clock.onSleep = [&] { std::filesystem::remove(companion); };
    RunWorker();
    EXPECT_EQ(1u, clock.sleeps.size());
    EXPECT_EQ("J", ReadFile(output));
}

TEST_F(OutputWorkerTest, WaitsUntilTheProducerLetsGo) {
    WriteFile(job, "J");
    Locked producer(job);
    clock.onSleep = [&] {
        if (clock.sleeps.size() == 3) {
            producer.Release();
        }
    };
    RunWorker();
    EXPECT_EQ(3u, clock.sleeps.size());
    EXPECT_FALSE(Exists(job));
}

TEST_F(OutputWorkerTest, AbortDuringCompanionWaitTouchesNothing) {
    WriteFile(job, "J");
    WriteFile(companion, "");
    clock.onSleep = [&] { SetAbort(); };
    RunWorker();
    EXPECT_EQ(1u, clock.sleeps.size());
    EXPECT_EQ(0, fs.outputOpens);
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, AbortDuringReadinessWaitTouchesNothing) {
    WriteFile(job, "J");
    Locked producer(job);
    clock.onSleep = [&] { SetAbort(); };
    RunWorker();
    EXPECT_EQ(1u, clock.sleeps.size());
    EXPECT_EQ(0, fs.outputOpens);
}

TEST_F(OutputWorkerTest, AbortAfterTheProbeOpensNoOutput) {
    WriteFile(job, "J");
    fs.onProbe = [&](platform::Probe probe) {
        EXPECT_EQ(platform::Probe::Ready, probe);
        SetAbort();
    };
    RunWorker();
    EXPECT_EQ(0, fs.outputOpens);
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, AbortBeforeTheHeaderWritesNothingAndLeavesTheOutputAsItWas) {
    header = dir / "head";
    WriteFile(header, "H");
    WriteFile(job, "J");
    WriteFile(output, "an earlier job");
    fs.onOpenOutput = [&] { SetAbort(); };
    RunWorker();
    EXPECT_EQ(1, fs.outputOpens);
    EXPECT_EQ(0, fs.writeFaults.writes);
    EXPECT_EQ("an earlier job", ReadFile(output));
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, AbortAfterTheHeaderSkipsTheJob) {
    header = dir / "head";
    WriteFile(header, "H");
    WriteFile(job, "J");
    fs.writeFaults.afterWrite = [&](int) { SetAbort(); };
    RunWorker();
    EXPECT_EQ("H", ReadFile(output));
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, AbortMidJobStopsAfterTheChunkAndKeepsTheJob) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, Pattern(1000));
    fs.writeFaults.afterWrite = [&](int index) {
        if (index == 2) {
            SetAbort();
        }
    };
    RunWorker();
    EXPECT_EQ(Pattern(1000).substr(0, 512), ReadFile(output));
    EXPECT_EQ(512u, bytes.load());
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, ShortWriteKeepsTheJobAndCountsOnlyAcceptedBytes) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, Pattern(1000));
    fs.writeFaults.shortWriteAt = 2;
    RunWorker();
    EXPECT_EQ(Pattern(1000).substr(0, 511) + "F", ReadFile(output));
    EXPECT_EQ(512u, bytes.load());
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, FailedWriteKeepsTheJob) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, Pattern(1000));
    fs.writeFaults.failWriteAt = 1;
    RunWorker();
    EXPECT_EQ("F", ReadFile(output));
    EXPECT_EQ(1u, bytes.load());
    EXPECT_TRUE(Exists(job));
}

TEST_F(OutputWorkerTest, FailedReadKeepsTheJob) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, Pattern(1000));
    fs.failReadOf = job;
    fs.failReadAfter = 1;
    RunWorker();
    EXPECT_EQ(Pattern(256) + "F", ReadFile(output));
    EXPECT_TRUE(Exists(job));
}

// The output is cut only behind a job that reached it whole.
TEST_F(OutputWorkerTest, JobThatCannotBeOpenedForTheCopyIsKept) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, "J");
    WriteFile(output, "0123456789");
    fs.unopenableSources.insert(job);
    RunWorker();
    EXPECT_EQ("F123456789", ReadFile(output));
    EXPECT_TRUE(Exists(job));
    EXPECT_EQ(0, fs.deleteAttempts);
}

// Only a producer holding the job is waited for: a job the system cannot open
// (or cannot find under the name it listed) would hold up every job behind it.
TEST_F(OutputWorkerTest, JobThatCannotBeOpenedEndsTheAttemptAndIsPassedOverForAWhile) {
    WriteFile(job, "J");
    WriteFile(output, "earlier");
    platform::DirEntry entry;
    ASSERT_TRUE(fs.real.FindFirst(job, [](const platform::DirEntry&) { return true; }, &entry));
    clock.onSleep = [&] { SetAbort(); };  // a worker that waits on would never end
    const std::pair<platform::Probe, int64_t> attempts[] = {{platform::Probe::Unopenable, 30},
                                                           {platform::Probe::Missing, 60}};
    for (const auto& [answer, backOff] : attempts) {
        fs.probeAnswers[job] = answer;
        clock.now += 1000;
        RunWorker();
        EXPECT_TRUE(clock.sleeps.empty());
        EXPECT_EQ(0, fs.outputOpens);
        EXPECT_EQ("J", ReadFile(job));
        EXPECT_TRUE(unopenable.PassesOver(job, entry.size, entry.lastWrite, clock.now + backOff - 1));
        EXPECT_FALSE(unopenable.PassesOver(job, entry.size, entry.lastWrite, clock.now + backOff));
    }
}

TEST_F(OutputWorkerTest, TransientLookupErrorDuringCompanionWaitKeepsWaiting) {
    WriteFile(job, "J");
    WriteFile(companion, "");
    fs.failingLookupOf = job;
    fs.failingLookups = 1;
    clock.onSleep = [&] {
        if (clock.sleeps.size() == 2) {
            std::filesystem::remove(companion);
        }
    };
    RunWorker();
    EXPECT_EQ("J", ReadFile(output));
    EXPECT_FALSE(Exists(job));
}

TEST_F(OutputWorkerTest, OutputNamingTheJobHeaderOrFooterIsNeverOpened) {
    WriteFile(job, "J");
    output = dir / "./JOB1.GLF";
    RunWorker();
    EXPECT_EQ("J", ReadFile(job));

    header = dir / "head";
    footer = dir / "foot";
    WriteFile(header, "H");
    WriteFile(footer, "F");
    for (const std::string& named : {header, footer}) {
        output = named;
        RunWorker();
    }
    EXPECT_EQ(0, fs.outputOpens);
    EXPECT_EQ("J", ReadFile(job));
    EXPECT_EQ("H", ReadFile(header));
    EXPECT_EQ("F", ReadFile(footer));
}

TEST_F(OutputWorkerTest, JobGoneBeforeTheProbeOpensNoOutput) {
    RunWorker();
    EXPECT_EQ(0, fs.outputOpens);
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(OutputWorkerTest, JobWithdrawnDuringCompanionWaitEndsTheWorker) {
    WriteFile(job, "J");
    WriteFile(companion, "");
    clock.onSleep = [&] { std::filesystem::remove(job); };
    RunWorker();
    EXPECT_EQ(1u, clock.sleeps.size());
    EXPECT_EQ(0, fs.outputOpens);
}

TEST_F(OutputWorkerTest, DeletionRetriedBrieflyThenRemembered) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, "stuck");
    job = dir.path() + "\\JOB1.GLF";  // as the search names it
    platform::DirEntry before;
    ASSERT_TRUE(fs.real.FindFirst(job, [](const platform::DirEntry&) { return true; }, &before));
    fs.deleteFailures = 100;
    RunWorker();
    EXPECT_EQ(6, fs.deleteAttempts);
    EXPECT_EQ(std::vector<uint32_t>(5, 100), clock.sleeps);
    EXPECT_EQ("stuckF", ReadFile(output));
    EXPECT_TRUE(undeletable.Contains(job, before.size, before.lastWrite));

    std::string folder = dir.path();
    std::string found;
    EXPECT_FALSE(FindTargetFile(folder, "*.GLF", found, fs, undeletable, platform::IsLeadByteNone));
    WriteFile(dir / "JOB1.GLF", "changed");
    EXPECT_TRUE(FindTargetFile(folder, "*.GLF", found, fs, undeletable, platform::IsLeadByteNone));
    EXPECT_EQ(job, found);
}

TEST_F(OutputWorkerTest, DeletionThatSucceedsOnRetryIsNotRemembered) {
    WriteFile(job, "J");
    platform::DirEntry before;
    ASSERT_TRUE(fs.real.FindFirst(job, [](const platform::DirEntry&) { return true; }, &before));
    fs.deleteFailures = 2;
    RunWorker();
    EXPECT_EQ(3, fs.deleteAttempts);
    EXPECT_FALSE(Exists(job));
    EXPECT_FALSE(undeletable.Contains(job, before.size, before.lastWrite));
}

TEST_F(OutputWorkerTest, AbortStopsTheDeletionRetries) {
    WriteFile(job, "J");
    fs.deleteFailures = 100;
    clock.onSleep = [&] { SetAbort(); };
    RunWorker();
    EXPECT_EQ(2, fs.deleteAttempts);
}

TEST_F(OutputWorkerTest, RunsOnItsOwnThread) {
    WriteFile(job, Pattern(5000));
    WriteFile(companion, "");
    clock.onSleep = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::filesystem::remove(companion);
    };
    running = 1;
    ASSERT_TRUE(platform::SystemThreadStarter().Start(OutputThreadProc, new OutputJob(Job()), 0));
    while (running.load(std::memory_order_acquire) != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(Pattern(5000), ReadFile(output));
    EXPECT_EQ(5000u, bytes.load());
}

}  // namespace
