#include "relay/OutputWorker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "TestSupport.h"
#include "relay/FolderSnapshot.h"
#include "relay/Search.h"

namespace {

using testing_support::Everywhere;
using testing_support::Identity;
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
        return OutputJob{job,        ".OFI", output,       header, footer, &running,
                         &abort,     &bytes, &undeletable, &fs,    &clock, platform::IsLeadByteNone,
                         &unopenable, &outcomes};
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
    JobOutcomes outcomes;
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

// The search's exclusive look stands for the worker's first; a producer that
// takes the job up again before the worker's own open is waited for, not
// passed over as unopenable.
TEST_F(OutputWorkerTest, AJobFoundReadyIsOpenedAtOnceAndAProducerBackMeanwhileIsWaitedFor) {
    int probes = 0;
    fs.onProbe = [&](platform::Probe) { ++probes; };
    const auto runReady = [&] {
        OutputJob ready = Job();
        ready.readyWhenFound = true;
        running = 1;
        OutputThreadProc(new OutputJob(ready));
    };
    WriteFile(job, "J");
    runReady();
    EXPECT_EQ(0, probes);
    EXPECT_EQ("J", ReadFile(output));
    EXPECT_FALSE(Exists(job));

    WriteFile(job, "K");
    fs.unopenableSources.insert(job);
    fs.probeAnswers[job] = platform::Probe::Busy;
    clock.onSleep = [&] {
        fs.unopenableSources.clear();
        fs.probeAnswers.clear();
    };
    runReady();
    EXPECT_EQ(1u, clock.sleeps.size());
    EXPECT_EQ("K", ReadFile(output));
    EXPECT_FALSE(Exists(job));
    EXPECT_EQ(0u, unopenable.Count(""));
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

// A bad sector or a placeholder that cannot be fetched: the job stays, and is
// passed over for a while like a file that cannot be opened, so that it does
// not go out in part before every other job.
TEST_F(OutputWorkerTest, FailedReadKeepsTheJobAndBacksOff) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, Pattern(1000));
    platform::FileIdentity before;
    ASSERT_TRUE(fs.real.Identify(job, &before));
    fs.failReadOf = job;
    fs.failReadAfter = 1;
    clock.now = 100;
    RunWorker();
    EXPECT_EQ(Pattern(256) + "F", ReadFile(output));
    EXPECT_TRUE(Exists(job));
    EXPECT_TRUE(unopenable.PassesOver(job, Identity(before.size, before.lastWrite), 129));
    EXPECT_FALSE(unopenable.PassesOver(job, Identity(before.size, before.lastWrite), 130));
}

// A job that can no longer be opened for the copy, whatever the error, puts
// nothing on the output and is passed over for a while, not taken at once again.
TEST_F(OutputWorkerTest, JobThatCannotBeOpenedForTheCopyIsKeptAndBacksOff) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, "J");
    WriteFile(output, "0123456789");
    fs.unopenableSources.insert(job);
    RunWorker();
    EXPECT_EQ("0123456789", ReadFile(output));
    EXPECT_EQ(0, fs.outputOpens);
    EXPECT_TRUE(Exists(job));
    EXPECT_EQ(0, fs.deleteAttempts);
    EXPECT_EQ(1u, unopenable.Count(""));
}

// Only a producer holding the job is waited for: a job the system cannot open
// (or cannot find under the name it listed) would hold up every job behind it.
TEST_F(OutputWorkerTest, JobThatCannotBeOpenedEndsTheAttemptAndIsPassedOverForAWhile) {
    WriteFile(job, "J");
    platform::DirEntry entry;
    ASSERT_TRUE(fs.real.FindFirst(
        job, [](const platform::DirEntry&) { return true; }, &entry));
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
        EXPECT_TRUE(
            unopenable.PassesOver(job, Identity(entry.size, entry.lastWrite), clock.now + backOff - 1));
        EXPECT_FALSE(unopenable.PassesOver(job, Identity(entry.size, entry.lastWrite), clock.now + backOff));
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

// An account that may read the job but not delete it: the job is sent once
// and passed over from then on, until it is written again, even with the same
// size and last-write time (a copy over it keeps the template's time).
TEST_F(OutputWorkerTest, JobThatCannotBeDeletedIsSentOnceUntilWrittenAgain) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    WriteFile(job, "stuck");
    job = dir.path() + "\\JOB1.GLF";  // as the search names it
    fs.deleteRefused = true;
    RunWorker();
    EXPECT_EQ(1, fs.deleteAttempts);
    EXPECT_EQ("stuckF", ReadFile(output));
    EXPECT_EQ(1u, undeletable.Count(""));

    std::string folder = dir.path();
    std::string found;
    const auto search = [&] {
        FolderSnapshot folders(fs, platform::IsLeadByteNone);
        undeletable.ForgetChanged(folders, Everywhere);
        return FindTargetFile(folder, "*.GLF", found, fs, undeletable, platform::IsLeadByteNone);
    };
    EXPECT_FALSE(search());
    struct stat was;
    ASSERT_EQ(0, stat((dir / "JOB1.GLF").c_str(), &was));
    WriteFile(dir / "JOB1.GLF", "fresh");
    const struct timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(0, utimensat(AT_FDCWD, (dir / "JOB1.GLF").c_str(), times, 0));
    EXPECT_TRUE(search()) << "rewritten with the old size and time";
    EXPECT_EQ(job, found);
}

// A delete the system accepted but did not carry out (Wine on a folder whose
// entries are immutable), and a job whose identity cannot be read: either is
// remembered rather than printed again.
TEST_F(OutputWorkerTest, JobThatStaysOrCannotBeToldIsRemembered) {
    WriteFile(job, "stuck");
    fs.deleteLeavesFile = true;
    RunWorker();
    EXPECT_EQ(1, fs.deleteAttempts);
    EXPECT_EQ("stuck", ReadFile(output));
    EXPECT_EQ(std::vector<uint32_t>(20, 100), clock.sleeps) << "given two seconds to go";
    platform::FileIdentity now;
    ASSERT_TRUE(fs.real.Identify(job, &now));
    EXPECT_TRUE(undeletable.Contains(job, Identity(now.size, now.lastWrite)));

    const std::string other = dir / "JOB2.GLF";
    WriteFile(other, "unknown");
    job = other;
    fs.deleteLeavesFile = false;
    fs.unidentifiable = true;
    RunWorker();
    EXPECT_EQ(1, fs.deleteAttempts) << "never deleted unchecked";
    EXPECT_TRUE(Exists(other));
    EXPECT_TRUE(undeletable.Contains(other, Identity(7, [&] {
        platform::DirEntry entry;
        EXPECT_TRUE(fs.real.FindFirst(other, [](const platform::DirEntry&) { return true; }, &entry));
        return entry.lastWrite;
    }())));
}

TEST_F(OutputWorkerTest, ReadOnlyJobIsConsumed) {
    WriteFile(job, "J");
    ASSERT_EQ(0, chmod(job.c_str(), 0444));
    RunWorker();
    EXPECT_FALSE(Exists(job));
    EXPECT_EQ("J", ReadFile(output));
    EXPECT_TRUE(clock.sleeps.empty());
}

// A producer that appends while the job is sent: what the copy read is judged,
// not the times the file had when it was opened. Bytes that came after the end
// was read make it another job, which stays.
TEST_F(OutputWorkerTest, AppendedJobIsDeletedOnlyWhenEveryByteWasSent) {
    WriteFile(job, Pattern(600, 1));
    const auto appendToJob = [&] { std::ofstream(job, std::ios::binary | std::ios::app) << Pattern(18, 9); };
    fs.writeFaults.afterWrite = [&](int index) {
        if (index == 1) {
            appendToJob();
        }
    };
    RunWorker();
    EXPECT_EQ(Pattern(600, 1) + Pattern(18, 9), ReadFile(output));
    EXPECT_FALSE(Exists(job));

    WriteFile(job, Pattern(600, 1));
    fs.writeFaults.afterWrite = nullptr;
    int identified = 0;  // first when the job is opened, then when it has been read
    fs.onJobIdentify = [&] {
        if (++identified == 2) {
            appendToJob();
        }
    };
    RunWorker();
    fs.onJobIdentify = nullptr;
    EXPECT_EQ(Pattern(600, 1), ReadFile(output));
    EXPECT_EQ(Pattern(600, 1) + Pattern(18, 9), ReadFile(job));
    EXPECT_EQ(0u, undeletable.Count(""));
}

// A producer that renames a new job over the old one while it is being sent:
// the new one has the same name and size, only its place on the disk differs.
TEST_F(OutputWorkerTest, JobReplacedDuringItsCopyIsKeptForTheNextRelay) {
    WriteFile(job, Pattern(600, 1));
    fs.writeFaults.afterWrite = [&](int index) {
        if (index == 1) {
            WriteFile(dir / "next.tmp", Pattern(600, 2));
            std::filesystem::rename(dir / "next.tmp", job);
        }
    };
    RunWorker();
    EXPECT_EQ(Pattern(600, 1), ReadFile(output));
    EXPECT_EQ(Pattern(600, 2), ReadFile(job));
    EXPECT_EQ(0, fs.deleteAttempts);

    fs.writeFaults.afterWrite = nullptr;
    RunWorker();
    EXPECT_EQ(Pattern(600, 2), ReadFile(output));
    EXPECT_FALSE(Exists(job));
}

// A spooled printer prints nothing until the document is finished: the job
// goes only once the spooler took the whole document, and stays when it did
// not or when the output was cancelled before.
TEST_F(OutputWorkerTest, JobForASpooledPrinterGoesOnlyOnceTheDocumentIsFinished) {
    footer = dir / "foot";
    WriteFile(footer, "F");
    fs.writeFaults.spooled = true;
    fs.writeFaults.finishFails = true;
    WriteFile(job, "J");
    RunWorker();
    EXPECT_EQ(1, fs.writeFaults.finishes);
    EXPECT_TRUE(Exists(job)) << "the spooler refused the document";

    fs.writeFaults.afterWrite = [&](int) { SetAbort(); };
    fs.writeFaults.finishFails = false;
    RunWorker();
    EXPECT_EQ(1, fs.writeFaults.finishes) << "a cancelled document is never finished";
    EXPECT_TRUE(Exists(job));

    abort = 0;
    fs.writeFaults.afterWrite = [&](int) { EXPECT_TRUE(Exists(job)) << "deleted before the footer"; };
    RunWorker();
    EXPECT_EQ(2, fs.writeFaults.finishes);
    EXPECT_FALSE(Exists(job));
}

// A header or footer the output did not take is never a job reported sent
// whole. A spooled document is thrown away unfinished and the job sent again;
// a port has printed the job before the footer, so the job is gone and the
// footer's failure is told.
TEST_F(OutputWorkerTest, AHeaderOrFooterTheOutputRefusedIsToldAndASpooledJobStays) {
    header = dir / "head";
    footer = dir / "foot";
    WriteFile(header, "H");
    WriteFile(footer, "F");
    struct Case {
        bool spooled;
        int failingWrite;  // 1 the header, 2 the job, 3 the footer
        JobResult result;
        bool jobStays;
    };
    for (const Case c : {Case{true, 3, JobResult::WriteFailed, true}, Case{true, 1, JobResult::WriteFailed, true},
                         Case{false, 3, JobResult::NoHeaderFooter, false},
                         Case{false, 1, JobResult::WriteFailed, true}}) {
        SCOPED_TRACE(testing::Message() << "spooled " << c.spooled << ", write " << c.failingWrite);
        WriteFile(job, "J");
        fs.writeFaults = {};
        fs.writeFaults.spooled = c.spooled;
        fs.writeFaults.failWriteAt = c.failingWrite;
        RunWorker();
        const std::vector<JobOutcome> told = outcomes.TakeAll();
        ASSERT_EQ(1u, told.size());
        EXPECT_EQ(c.result, told[0].result);
        EXPECT_EQ(c.failingWrite == 1, told[0].headerFailed);
        EXPECT_EQ(c.failingWrite == 3, told[0].footerFailed);
        EXPECT_FALSE(told[0].headerMissing || told[0].footerMissing);
        EXPECT_EQ(c.jobStays, Exists(job));
        EXPECT_EQ(0, fs.writeFaults.finishes) << "an unfinished document never prints";
        EXPECT_EQ(c.failingWrite == 1 ? 1 : 3, fs.writeFaults.writes) << "no job behind a failed header";
    }
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
