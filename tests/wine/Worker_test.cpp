// The output worker with the Win32 file system. The harness (scripts/wine-env.sh)
// maps LPT1 to a capture file, directly or through a FIFO and a reader that
// plays the printer, so the bytes a printer would receive can be read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "relay/OutputWorker.h"
#include "relay/Search.h"
#include "tests/wine/PlatformTestSupport.h"
#include "tests/wine/VarnowDriver.h"

namespace {

using wine_test::Exists;
using wine_test::HeldFile;
using wine_test::ReadBytes;
using wine_test::TempFolder;
using wine_test::WideFile;
using wine_test::WriteBytes;

class Win32Worker : public ::testing::Test {
protected:
    void SetUp() override {
        m_job = m_folder / "JOB1.GLF";
        m_output = m_folder / "out.prn";
    }

    // A worker thread left running by a failed check must not outlive the
    // members it writes to.
    void TearDown() override {
        m_abort = 1;
        for (int i = 0; i < 200 && m_running != 0; ++i) Sleep(50);
    }

    OutputJob MakeJob(const std::string& output) {
        OutputJob job;
        job.foundFile = m_job;
        job.waiting = ".OFI";
        job.output = output;
        job.workerRunning = &m_running;
        job.abort = &m_abort;
        job.byteCount = &m_bytes;
        job.undeletable = &m_undeletable;
        job.fs = &platform::SystemFileSystem();
        job.clock = &platform::SystemClock();
        job.isLeadByte = platform::IsLeadByteSystem;
        job.unopenable = &m_unopenable;
        return job;
    }

    void Run(const OutputJob& job) { OutputWorker(job).Run(); }

    TempFolder m_folder;
    std::string m_job;
    std::string m_output;
    std::atomic<int32_t> m_running{0};
    std::atomic<int32_t> m_abort{0};
    std::atomic<uint32_t> m_bytes{0};
    UndeletableJobs m_undeletable;
    UnopenableJobs m_unopenable{platform::IsLeadByteSystem};
};

TEST_F(Win32Worker, Lpt1ReceivesHeaderJobAndFooterAndTheJobIsGone) {
    const std::string capture = wine_test::LptCapture(1);
    ASSERT_FALSE(capture.empty()) << "VARNOW_LPT1_CAPTURE is not set";
    ASSERT_TRUE(WriteBytes(capture, ""));
    const std::string job = std::string(600, 'J') + "\x1B@\r\n" + std::string(1, '\0');
    ASSERT_TRUE(WriteBytes(m_job, job));
    ASSERT_TRUE(WriteBytes(m_folder / "head.bin", "HEADER"));
    ASSERT_TRUE(WriteBytes(m_folder / "foot.bin", "FOOTER"));

    OutputJob setup = MakeJob("LPT1");
    setup.header = m_folder / "head.bin";
    setup.footer = m_folder / "foot.bin";
    Run(setup);

    // Behind a FIFO the printer's stand-in copies the bytes a moment later.
    const std::string expected = "HEADER" + job + "FOOTER";
    for (int i = 0; i < 50 && ReadBytes(capture).size() < expected.size(); ++i) Sleep(100);
    EXPECT_EQ(ReadBytes(capture), expected);
    EXPECT_EQ(m_bytes, 12u + job.size());
    EXPECT_FALSE(Exists(m_job));
}

TEST_F(Win32Worker, OutputHeldByAnotherProcessWritesNothingAndKeepsTheJob) {
    ASSERT_TRUE(WriteBytes(m_output, "before"));
    ASSERT_TRUE(WriteBytes(m_job, "job"));
    HeldFile otherProgram(m_output);
    ASSERT_TRUE(otherProgram.IsHeld());

    Run(MakeJob(m_output));
    ASSERT_TRUE(otherProgram.Release());

    EXPECT_EQ(ReadBytes(m_output), "before");
    EXPECT_EQ(m_bytes, 0u);
    EXPECT_EQ(ReadBytes(m_job), "job");
}

TEST_F(Win32Worker, OutputNamingTheJobIsNeverOpenedAndTheJobKeepsItsBytes) {
    ASSERT_TRUE(WriteBytes(m_job, "job"));

    Run(MakeJob(m_folder / "job1.glf"));

    EXPECT_EQ(ReadBytes(m_job), "job");
    EXPECT_EQ(m_bytes, 0u);
}

// The search lists these names, but the byte-string functions cannot open
// them: each attempt ends at once, and the search then passes over them.
TEST_F(Win32Worker, JobsTheSystemCannotOpenEndTheAttemptAndArePassedOver) {
    const std::wstring folder = e2e::FromAcp(m_folder.Path());
    const WideFile hangul(folder + L"\\\uD55C.GLF", "hangul");
    const WideFile longName(folder + L"\\" + std::wstring(250, L'L') + L".GLF", "long");
    ASSERT_TRUE(hangul.Written());
    ASSERT_TRUE(longName.Written());

    std::string searchFolder = m_folder.Path();
    const auto search = [&] {
        const SearchExclusions exclusions{{}, &m_unopenable, platform::SystemClock().NowSeconds()};
        return FindTargetFile(searchFolder, "*.GLF", m_job, platform::SystemFileSystem(),
                              m_undeletable, platform::IsLeadByteSystem, exclusions);
    };
    // The name the code page cannot spell is passed over by the search, and
    // the path too long to open is noted there after a quick open. A worker
    // handed it all the same (a race) ends at once.
    EXPECT_FALSE(search());
    m_job = m_folder / (std::string(250, 'L') + ".GLF");
    m_running = 1;
    ASSERT_TRUE(platform::SystemThreadStarter().Start(
        OutputThreadProc, new OutputJob(MakeJob(m_output)), platform::PriorityNormal));
    for (int i = 0; i < 40 && m_running != 0; ++i) Sleep(50);
    ASSERT_EQ(m_running, 0) << m_job;
    EXPECT_FALSE(search());
    EXPECT_FALSE(Exists(m_output));
    EXPECT_TRUE(hangul.Exists());
    EXPECT_TRUE(longName.Exists());
}

TEST_F(Win32Worker, PlainFileOutputHoldsExactlyTheLastJob) {
    ASSERT_TRUE(WriteBytes(m_output, std::string(1000, 'o')));
    const std::string job(300, 'j');
    ASSERT_TRUE(WriteBytes(m_job, job));

    Run(MakeJob(m_output));

    EXPECT_EQ(ReadBytes(m_output), job);
    EXPECT_FALSE(Exists(m_job));
}

// The whole road on a worker thread: the job waits while its producer holds
// it and goes out once the producer lets go.
TEST_F(Win32Worker, ThreadWaitsForTheProducerThenRelays) {
    ASSERT_TRUE(WriteBytes(m_job, "late job"));
    HeldFile producer(m_job);
    ASSERT_TRUE(producer.IsHeld());

    m_running = 1;
    ASSERT_TRUE(platform::SystemThreadStarter().Start(
        OutputThreadProc, new OutputJob(MakeJob(m_output)), platform::PriorityNormal));
    Sleep(1200);
    EXPECT_EQ(m_running, 1);
    EXPECT_FALSE(Exists(m_output));

    ASSERT_TRUE(producer.Release());
    for (int i = 0; i < 100 && m_running != 0; ++i) Sleep(50);
    ASSERT_EQ(m_running, 0);
    EXPECT_EQ(ReadBytes(m_output), "late job");
    EXPECT_FALSE(Exists(m_job));
}

}  // namespace
