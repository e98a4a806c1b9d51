#include "relay/RelayEngine.h"

#include <memory>
#include <mutex>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "relay/OutputWorker.h"

namespace {

using Log = std::vector<std::string>;

const char* const kNames[] = {"Folder",  "Waiting",      "Target",       "Output",       "Header", "Footer",
                              "Priority", "BrowseFooter", "BrowseHeader", "BrowseFolder", "Exit",
                              "OutputMenu"};

class RecordingView : public RelayView {
public:
    void EnableControl(SettingControl c, bool on) override { Add("Enable ", c, on); }
    void ShowControl(SettingControl c, bool on) override { Add("Show ", c, on); }
    void EnableRunButton(bool on) override { log.push_back(on ? "EnableRun" : "DisableRun"); }
    void SetRunButtonCaption(const char* utf8) override { log.push_back(std::string("Caption ") + utf8); }
    void SetTimer(unsigned id, unsigned ms) override {
        log.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(ms));
    }
    void KillTimer(unsigned id) override { log.push_back("KillTimer " + std::to_string(id)); }
    int ReadSliderPosition() override {
        log.push_back("ReadSlider");
        return slider;
    }
    void SaveFields() override { log.push_back("SaveFields"); }
    void LoadFields() override { log.push_back("LoadFields"); }
    bool IsMinimized() override {
        log.push_back("IsMinimized");
        return minimized;
    }
    void HideWindow() override { log.push_back("HideWindow"); }
    void ShowWindow() override { log.push_back("ShowWindow"); }
    void MinimizeWindow() override { log.push_back("MinimizeWindow"); }
    void MoveWindowTo(const WindowRect& r) override {
        log.push_back("MoveWindowTo " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                      std::to_string(r.right) + "," + std::to_string(r.bottom));
    }
    void BeginWaitCursor() override { log.push_back("BeginWaitCursor"); }
    void EndWaitCursor() override { log.push_back("EndWaitCursor"); }
    // Plays the message loop that keeps running while the cancel waits.
    void WaitUntil(const std::function<bool()>& done, unsigned pollMs) override {
        log.push_back("WaitUntil " + std::to_string(pollMs));
        while (!done()) {
            ++pollsWhileRunning;
            if (duringWait) {
                duringWait();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void ShowStatus(const std::string& utf8) override { log.push_back("Status " + utf8); }
    void ShowTrouble(bool trouble, const std::string& shortUtf8) override {
        log.push_back((trouble ? "Trouble " : "NoTrouble ") + shortUtf8);
    }
    void WithdrawRestart() override { log.push_back("WithdrawRestart"); }
    void RemoveTrayIcon() override { log.push_back("RemoveTrayIcon"); }
    void EndDialog() override { log.push_back("EndDialog"); }
    // Posted events wait here until the test hands them to the engine, as the
    // message loop would. The worker posts from its own thread, after its
    // end is seen: like the window's handle, what it posts to outlives the view.
    struct Posted {
        std::mutex mutex;
        std::vector<RelayEvent> events;
    };
    std::function<void()> EventPoster(RelayEvent event) override {
        return [posted = posted, event] {
            std::lock_guard<std::mutex> lock(posted->mutex);
            posted->events.push_back(event);
        };
    }
    std::vector<RelayEvent> TakePosted() {
        std::lock_guard<std::mutex> lock(posted->mutex);
        return std::exchange(posted->events, {});
    }

    Log Take() { return std::exchange(log, {}); }

    Log log;
    int slider = 3;
    bool minimized = false;
    int pollsWhileRunning = 0;
    std::function<void()> duringWait;
    std::shared_ptr<Posted> posted = std::make_shared<Posted>();

private:
    void Add(const char* what, SettingControl c, bool on) {
        log.push_back(what + std::string(kNames[static_cast<int>(c)]) + (on ? " 1" : " 0"));
    }
};

// Keeps started workers until the test runs them, like a thread that has not
// been scheduled yet.
class FakeThreads : public platform::ThreadStarter {
public:
    bool Start(unsigned (*proc)(void*), void* arg, int priority) override {
        priorities.push_back(priority);
        if (!succeed) {
            return false;
        }
        pending.push_back({proc, arg});
        return true;
    }
    void InterruptBlockedIo() override { ++interrupts; }
    void RunPending() {
        for (const auto& [proc, arg] : std::exchange(pending, {})) {
            proc(arg);
        }
    }
    const OutputJob& PendingJob() const { return *static_cast<OutputJob*>(pending.at(0).second); }

    bool succeed = true;
    int interrupts = 0;
    std::vector<int> priorities;
    std::vector<std::pair<unsigned (*)(void*), void*>> pending;
};

Log Stopping() {
    Log log;
    for (int i = 0; i < 7; ++i) {
        log.push_back("Enable " + std::string(kNames[i]) + " 1");
        if (i == 3) {
            log.push_back("Enable OutputMenu 1");  // beside the output it offers
        }
    }
    for (int i = 7; i < 11; ++i) {
        log.push_back("Show " + std::string(kNames[i]) + " 1");
    }
    return log;
}

class RelayEngineTest : public ::testing::Test {
protected:
    RelayEngineTest() {
        engine.m_strFolder = "C:\\OUT";
        engine.m_strTarget = "*.GLF";
        engine.m_strWaiting = ".OFI";
        engine.m_strOutput = "LPT1";
        engine.m_strHeader = "H";
        engine.m_strFooter = "F";
        engine.EnterStopped();
        engine.ResetCounters();
    }
    // Workers started by a test end before the engine they point into.
    void TearDown() override { threads.RunPending(); }

    void StartSearching() {
        engine.OnOK();
        view.Take();
    }
    void StartJob() {
        StartSearching();
        fs.listings["C:\\OUT\\*.GLF"] = {testing_support::FileEntry("JOB1.GLF")};
        engine.OnTimer(kSearchTimer);
        fs.listings.clear();
        view.Take();
    }

    RecordingView view;
    testing_support::ScriptedFileSystem fs;
    testing_support::FakeClock clock;
    FakeThreads threads;
    RelayEngine engine{view, fs, clock, threads, platform::IsLeadByteSjis};
};

TEST(PriorityForSlider, MapsAndClampsPositions) {
    const int expected[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int position = 0; position < 7; ++position) {
        EXPECT_EQ(expected[position], PriorityForSlider(position)) << position;
    }
    EXPECT_EQ(-15, PriorityForSlider(-4));
    EXPECT_EQ(15, PriorityForSlider(9));
}

TEST_F(RelayEngineTest, ResetStartsStoppedWithCountersAtZero) {
    engine.m_nRunState = Outputting;
    engine.m_bWorkerRunning = 1;
    engine.m_bAbort = 1;
    engine.m_nFileCount = 5;
    engine.m_nByteCount = 7;
    clock.now = 1234;
    engine.EnterStopped();
    engine.ResetCounters();
    EXPECT_EQ(Stopped, engine.m_nRunState);
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());
    EXPECT_EQ(0, engine.m_bAbort.load());
    EXPECT_EQ(0u, engine.m_nFileCount);
    EXPECT_EQ(0u, engine.m_nByteCount.load());
    EXPECT_EQ(1234, engine.m_timeStart);
}

TEST_F(RelayEngineTest, RunButtonStartsAndStopsTheSearch) {
    view.slider = 5;
    engine.OnOK();
    EXPECT_EQ((Log{"SaveFields", "ReadSlider", "Enable Folder 0", "Enable Waiting 0", "Enable Target 0",
                   "Enable Output 0", "Enable OutputMenu 0", "Enable Header 0", "Enable Footer 0", "Enable Priority 0",
                   "Show BrowseFooter 0", "Show BrowseHeader 0", "Show BrowseFolder 0", "Show Exit 0",
                   "EnableRun", "Caption 検索中断", "SetTimer 1 2000"}),
              view.Take());
    EXPECT_EQ(Searching, engine.m_nRunState);
    EXPECT_EQ(5, engine.m_nPriority);
    EXPECT_TRUE(fs.searched.empty()) << "the first search waits for the first tick";

    engine.OnOK();
    Log stop = Stopping();
    stop.insert(stop.end(), {"EnableRun", "Caption 検索開始", "KillTimer 1", "Status 停止中"});
    EXPECT_EQ(stop, view.Take());
    EXPECT_EQ(Stopped, engine.m_nRunState);
}

// A search that finds nothing also looks whether the folder can be read at
// all; a folder that cannot is shown on the next tick.
TEST_F(RelayEngineTest, TickWithoutFindKeepsSearching) {
    StartSearching();
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ((Log{"KillTimer 1", "SetTimer 1 2000"}), view.Take());
    EXPECT_EQ((std::vector<std::string>{"C:\\OUT\\*.GLF", "C:\\OUT\\*"}), fs.searched);
    EXPECT_EQ(Searching, engine.m_nRunState);
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ((Log{"KillTimer 1", u8"Status 検索位置 C:\\OUT\\ を開けません", u8"Trouble 検索位置を開けません",
                   "SetTimer 1 2000"}),
              view.Take());
}

TEST_F(RelayEngineTest, TickWithFindStartsAJobWithItsOwnCopies) {
    view.slider = 9;
    StartSearching();
    engine.m_bAbort = 1;  // left over from an earlier cancel
    fs.listings["C:\\OUT\\*.GLF"] = {testing_support::FileEntry("JOB1.GLF")};
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ((Log{"KillTimer 1", "EnableRun", "Caption 出力中止", "SetTimer 1 2000"}), view.Take());
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(1u, engine.m_nFileCount);
    EXPECT_EQ(1, engine.m_bWorkerRunning.load());
    EXPECT_EQ(0, engine.m_bAbort.load());
    EXPECT_EQ(std::vector<int>{15}, threads.priorities);

    const OutputJob& job = threads.PendingJob();
    EXPECT_EQ("C:\\OUT\\JOB1.GLF", job.foundFile);
    EXPECT_EQ(".OFI", job.waiting);
    EXPECT_EQ("LPT1", job.output);
    EXPECT_EQ("H", job.header);
    EXPECT_EQ("F", job.footer);
    EXPECT_EQ(&engine.m_bWorkerRunning, job.workerRunning);
    EXPECT_EQ(&engine.m_bAbort, job.abort);
    EXPECT_EQ(&engine.m_nByteCount, job.byteCount);
    EXPECT_EQ(platform::IsLeadByteSjis, job.isLeadByte);
    engine.m_strOutput = "changed";
    EXPECT_EQ("LPT1", job.output);
}

TEST_F(RelayEngineTest, ReturnsToSearchingOneTickAfterTheWorkerEnds) {
    StartJob();
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ((Log{"KillTimer 1", "SetTimer 1 2000"}), view.Take());
    EXPECT_EQ(Outputting, engine.m_nRunState);

    threads.RunPending();
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());
    fs.searched.clear();
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ((Log{"KillTimer 1", "EnableRun", "Caption 検索中断", "SetTimer 1 2000"}), view.Take());
    EXPECT_EQ(Searching, engine.m_nRunState);
    EXPECT_TRUE(fs.searched.empty()) << "no search on the tick that ends the output";
}

TEST_F(RelayEngineTest, FailedThreadStartFallsBackToSearching) {
    threads.succeed = false;
    StartJob();
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());
    EXPECT_EQ(1u, engine.m_nFileCount);
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ(Searching, engine.m_nRunState);
}

TEST_F(RelayEngineTest, CancelAbortsAndWaitsForTheWorker) {
    StartJob();
    view.duringWait = [&] {
        EXPECT_EQ(1, engine.m_bAbort.load());
        threads.RunPending();
    };
    engine.OnOK();
    EXPECT_EQ((Log{"BeginWaitCursor", "DisableRun", "WaitUntil 500", "EndWaitCursor"}), view.Take());
    EXPECT_EQ(1, view.pollsWhileRunning);
    EXPECT_EQ(1, threads.interrupts);
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());

    engine.OnTimer(kSearchTimer);
    EXPECT_EQ(Searching, engine.m_nRunState);
}

TEST_F(RelayEngineTest, CommandsAndTicksDuringTheCancelWaitChangeNothing) {
    StartJob();
    fs.searched.clear();
    view.duringWait = [&] {
        Log before = view.Take();
        engine.OnOK();
        engine.ExitCommand();
        engine.OnTimer(kSearchTimer);
        EXPECT_EQ((Log{"KillTimer 1", "SetTimer 1 2000"}), view.Take());
        EXPECT_TRUE(fs.searched.empty());
        view.log = before;
        threads.RunPending();
    };
    engine.OnOK();
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(1, threads.interrupts);
}

// A worker that no interrupt reaches is waited for only so long: a cancel
// then leaves the state Outputting until it ends; an exit ends the window
// and tells the program to end its process.
TEST_F(RelayEngineTest, ACancelGivesUpOnAWorkerThatNothingReaches) {
    StartJob();
    view.duringWait = [&] { clock.now += 5; };
    engine.OnOK();
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(1, engine.m_bWorkerRunning.load());
    EXPECT_EQ(3, view.pollsWhileRunning);
    EXPECT_FALSE(engine.WorkerAbandoned());

    view.Take();
    engine.ExitCommand();
    EXPECT_EQ("EndDialog", view.Take().back());
    EXPECT_TRUE(engine.WorkerAbandoned());
}

TEST_F(RelayEngineTest, ExitIsRefusedWhileOutputting) {
    StartJob();
    engine.OnCancel();
    EXPECT_TRUE(view.Take().empty());

    view.duringWait = [&] { threads.RunPending(); };
    engine.ExitCommand();
    EXPECT_EQ((Log{"BeginWaitCursor", "DisableRun", "WaitUntil 500", "EndWaitCursor"}), view.Take());

    engine.OnTimer(kSearchTimer);
    view.Take();
    engine.ExitCommand();
    EXPECT_EQ("EndDialog", view.Take().back());
}

TEST_F(RelayEngineTest, ExitCommandStopsTheSearchThenEndsTheWindow) {
    StartSearching();
    view.slider = 6;
    view.minimized = true;
    engine.ExitCommand();
    Log expected = Stopping();
    expected.insert(expected.end(), {"EnableRun", "Caption 検索開始", "KillTimer 1", "Status 停止中", "WithdrawRestart",
                                     "SaveFields", "ReadSlider", "IsMinimized", "RemoveTrayIcon", "EndDialog"});
    EXPECT_EQ(expected, view.Take());
    EXPECT_EQ(6, engine.m_nPriority);
    EXPECT_EQ(1, engine.m_bIconic);
}

TEST_F(RelayEngineTest, ExitActionAcceptsSearchingDirectly) {
    StartSearching();
    engine.m_bIconic = 1;
    engine.OnCancel();
    EXPECT_EQ((Log{"WithdrawRestart", "SaveFields", "ReadSlider", "IsMinimized", "RemoveTrayIcon", "EndDialog"}),
              view.Take());
    EXPECT_EQ(0, engine.m_bIconic);
    EXPECT_EQ(Searching, engine.m_nRunState);
}

TEST_F(RelayEngineTest, StrayTicksOnlyKillTheirTimer) {
    engine.OnTimer(kSearchTimer);  // Stopped
    engine.OnTimer(7);
    EXPECT_EQ((Log{"KillTimer 1", "Status 停止中", "KillTimer 7"}), view.Take());
    EXPECT_TRUE(fs.searched.empty());
}

TEST_F(RelayEngineTest, FirstRefreshShowsTheWindowAtItsPlace) {
    engine.m_rectWindow = {10, 20, 310, 220};
    engine.OnTimer(kDisplayTimer);
    EXPECT_EQ((Log{"KillTimer 2", "SaveFields", "Status 停止中", "ShowWindow", "MoveWindowTo 10,20,310,220",
                   "LoadFields", "SetTimer 2 5000"}),
              view.Take());
    EXPECT_EQ("0", engine.m_strFileCount);
    EXPECT_EQ("0", engine.m_strByteCount);
    EXPECT_EQ("0' 00:00", engine.m_strUptime);

    engine.OnTimer(kDisplayTimer);
    EXPECT_EQ((Log{"KillTimer 2", "SaveFields", "LoadFields", "SetTimer 2 5000"}), view.Take());
}

TEST_F(RelayEngineTest, FirstRefreshOfAnIconicWindowHidesIt) {
    engine.m_bIconic = 1;
    engine.OnTimer(kDisplayTimer);
    EXPECT_EQ((Log{"KillTimer 2", "SaveFields", "Status 停止中", "HideWindow", "MinimizeWindow", "LoadFields",
                   "SetTimer 2 5000"}),
              view.Take());
}

TEST_F(RelayEngineTest, RefreshFormatsTheCounters) {
    clock.now = 1000;
    engine.EnterStopped();
    engine.ResetCounters();
    engine.m_nFileCount = 1234;
    engine.m_nByteCount = 4294967295u;
    clock.now = 1000 + 90061;
    engine.OnTimer(kDisplayTimer);
    EXPECT_EQ("1,234", engine.m_strFileCount);
    EXPECT_EQ("4,294,967,295", engine.m_strByteCount);
    EXPECT_EQ("1' 01:01", engine.m_strUptime);
}

// A stopped engine that relays the folder's *.glf jobs to out.prn beside
// them, on a real worker thread whose pauses last a real moment.
void PrepareLiveEngine(RelayEngine& engine, const testing_support::TempDir& dir,
                       testing_support::FakeClock& clock) {
    engine.m_strFolder = dir.path();
    engine.m_strTarget = "*.glf";
    engine.m_strWaiting = ".ofi";
    engine.m_strOutput = dir / "out.prn";
    engine.EnterStopped();
    engine.ResetCounters();
    clock.onSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
}

// Ticks timer 1 until the worker has ended and the engine searches again.
void TickUntilSearching(RelayEngine& engine) {
    for (int i = 0; i < 5000 && engine.m_nRunState != Searching; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        engine.OnTimer(kSearchTimer);
    }
}

// The whole loop with a real worker thread and the real file system.
class RelayEngineLive : public ::testing::Test {
protected:
    RelayEngineLive() {
        PrepareLiveEngine(engine, dir, clock);
        engine.OnOK();
    }
    void TickUntilSearching() { ::TickUntilSearching(engine); }

    testing_support::TempDir dir;
    RecordingView view;
    testing_support::FakeClock clock;
    RelayEngine engine{view, platform::SystemFileSystem(), clock, platform::SystemThreadStarter(),
                       platform::IsLeadByteSystem};
};

TEST_F(RelayEngineLive, RelaysAJobOnAWorkerThread) {
    testing_support::WriteFile(dir / "a.glf", testing_support::Pattern(3000));
    engine.OnTimer(kSearchTimer);
    ASSERT_EQ(Outputting, engine.m_nRunState);
    TickUntilSearching();
    EXPECT_EQ(Searching, engine.m_nRunState);
    EXPECT_EQ(testing_support::Pattern(3000), testing_support::ReadFile(dir / "out.prn"));
    EXPECT_FALSE(testing_support::Exists(dir / "a.glf"));
    EXPECT_EQ(3000u, engine.m_nByteCount.load());
}

TEST_F(RelayEngineLive, CancelEndsAWorkerWaitingForItsCompanion) {
    testing_support::WriteFile(dir / "a.glf", "job");
    testing_support::WriteFile(dir / "a.ofi", "");
    engine.OnTimer(kSearchTimer);
    ASSERT_EQ(Outputting, engine.m_nRunState);
    engine.OnOK();
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());
    EXPECT_TRUE(testing_support::Exists(dir / "a.glf"));
    EXPECT_FALSE(testing_support::Exists(dir / "out.prn"));
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ(Searching, engine.m_nRunState);
}

// A job that reached the output lets the next one start the moment the worker
// reports its end, without waiting for a tick; a backlog drains at once.
TEST_F(RelayEngineLive, TheNextJobStartsAsSoonAsASentOneHasEnded) {
    testing_support::WriteFile(dir / "a.glf", "A");
    testing_support::WriteFile(dir / "b.glf", "B");
    engine.OnTimer(kSearchTimer);
    ASSERT_EQ(Outputting, engine.m_nRunState);
    for (int job = 1; job <= 2; ++job) {
        std::vector<RelayEvent> posted;
        for (int i = 0; i < 5000 && posted.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            posted = view.TakePosted();
        }
        ASSERT_EQ(std::vector<RelayEvent>{RelayEvent::WorkerEnded}, posted);
        engine.OnEvent(RelayEvent::WorkerEnded);
        EXPECT_EQ(job == 1 ? Outputting : Searching, engine.m_nRunState) << job;
    }
    EXPECT_EQ(2u, engine.m_nFileCount);
    EXPECT_EQ(0, engine.m_bWorkerRunning.load());
}

// What the engine does with the events, told apart from the poll: a try that
// sent nothing waits for the tick; a burst of changes arms one early search;
// a quiet watched folder is not listed again until a change, a due back-off
// or the full search after 30 s; a folder without a watch is polled.
TEST_F(RelayEngineTest, EventsWakeTheSearchAndAQuietWatchedFolderCostsNothing) {
    StartJob();
    threads.RunPending();  // the output cannot be opened: nothing was sent
    ASSERT_EQ(std::vector<RelayEvent>{RelayEvent::WorkerEnded}, view.TakePosted());
    fs.searched.clear();
    engine.OnEvent(RelayEvent::WorkerEnded);
    EXPECT_EQ(Searching, engine.m_nRunState);
    EXPECT_TRUE(fs.searched.empty()) << "a failed try is not repeated before the next tick";

    view.Take();
    for (int i = 0; i < 3; ++i) {
        engine.OnEvent(RelayEvent::FolderChanged);
    }
    EXPECT_EQ((Log{"KillTimer 1", "SetTimer 1 25"}), view.Take()) << "one search for the burst";

    const auto searchesInATick = [&] {
        fs.searched.clear();
        engine.OnTimer(kSearchTimer);
        return fs.searched.size();
    };
    fs.listings["C:\\OUT\\*"] = {testing_support::FileEntry("OTHER.TXT")};  // readable, no job
    EXPECT_EQ(1u, fs.watched.size()) << "the search folder is watched";
    EXPECT_GT(searchesInATick(), 0u);
    clock.now += 2;
    EXPECT_EQ(0u, searchesInATick()) << "nothing changed";
    fs.watchChanged();
    EXPECT_EQ((Log{"KillTimer 1", "SetTimer 1 2000", "KillTimer 1", "SetTimer 1 2000"}), view.Take());
    ASSERT_EQ(std::vector<RelayEvent>{RelayEvent::FolderChanged}, view.TakePosted());
    engine.OnEvent(RelayEvent::FolderChanged);
    EXPECT_GT(searchesInATick(), 0u);
    clock.now += kFullSearchSeconds - 1;
    EXPECT_EQ(0u, searchesInATick());
    clock.now += 1;
    EXPECT_GT(searchesInATick(), 0u) << "the full search every 30 s";

    fs.watchHealthy = false;  // a broken watch, or none (a network folder): polled every tick
    clock.now += 2;
    EXPECT_GT(searchesInATick(), 0u);
    fs.watchable = false;
    clock.now += 2;
    EXPECT_GT(searchesInATick(), 0u);
    clock.now += 2;
    EXPECT_GT(searchesInATick(), 0u);
}

// While the output cannot be opened, each tick tries it without a job and
// takes no job up: the state stays Searching, the counter stays, and only
// once the output opens does the job start and the trouble leave the line.
TEST_F(RelayEngineTest, NoJobIsTakenUpWhileTheOutputCannotBeOpened) {
    fs.jobs["C:\\OUT\\JOB1.GLF"] = "J";
    StartJob();
    fs.listings["C:\\OUT\\*"] = {testing_support::FileEntry("JOB1.GLF")};  // a folder that can be read
    threads.RunPending();  // the worker finds the output missing
    engine.OnEvent(RelayEvent::WorkerEnded);
    fs.listings["C:\\OUT\\*.GLF"] = {testing_support::FileEntry("JOB1.GLF")};
    for (int tick = 0; tick < 3; ++tick) {
        clock.now += 2;
        engine.OnTimer(kSearchTimer);
        EXPECT_EQ(Searching, engine.m_nRunState);
        EXPECT_TRUE(threads.pending.empty());
    }
    EXPECT_EQ(1u, engine.m_nFileCount);
    const Log log = view.Take();
    EXPECT_NE(std::find(log.begin(), log.end(), "Trouble 出力先を開けません"), log.end());
    EXPECT_EQ("SetTimer 1 2000", log.back());

    fs.outputFailure = platform::OpenFailure::None;  // switched on again
    view.Take();
    engine.OnTimer(kSearchTimer);
    EXPECT_EQ(Outputting, engine.m_nRunState);
    EXPECT_EQ(2u, engine.m_nFileCount);
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), "NoTrouble "), view.log.end());
}

// A spooler whose answer the test sets; it notes what it was asked.
class ScriptedSpooler : public platform::SpoolQueue {
public:
    platform::SpoolJobState Look(const std::string& printer, uint32_t jobId) override {
        asked.push_back(printer + " #" + std::to_string(jobId));
        return state;
    }
    platform::SpoolJobState state = platform::SpoolJobState::Queued;
    Log asked;
};

std::string Same(const std::string& text) { return text; }

// Jobs relayed for real to an output that behaves like a spooled printer.
class RelayEngineSpooled : public ::testing::Test {
protected:
    RelayEngineSpooled() {
        fs.writeFaults.spooled = true;
        fs.writeFaults.ticket = {u8"ラベル 1", 42, "XPS_PASS"};
        PrepareLiveEngine(engine, dir, clock);
        engine.AskSpoolerWith(spooler);
        engine.KeepRecordIn(Same, dir / "record");
    }
    void Tick() { engine.OnTimer(kSearchTimer); }
    void TickUntilSearching() { ::TickUntilSearching(engine); }
    std::string LastStatus() const { return LastOf({"Status "}); }
    std::string LastIcon() const { return LastOf({"Trouble ", "NoTrouble "}); }
    std::string LastOf(std::initializer_list<const char*> kinds) const {
        for (auto it = view.log.rbegin(); it != view.log.rend(); ++it) {
            for (const char* kind : kinds) {
                if (it->rfind(kind, 0) == 0) return kind == std::string("Status ") ? it->substr(7) : *it;
            }
        }
        return "";
    }
    size_t RecordLinesWith(const std::string& text) const {
        size_t count = 0;
        for (const auto& day : std::filesystem::directory_iterator(dir / "record")) {
            const std::string lines = testing_support::ReadFile(day.path().string());
            for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1)) ++count;
        }
        return count;
    }

    testing_support::TempDir dir;
    RecordingView view;
    testing_support::FakeClock clock;
    testing_support::FaultyFileSystem fs;
    ScriptedSpooler spooler;
    RelayEngine engine{view, fs, clock, platform::SystemThreadStarter(), platform::IsLeadByteSystem};
};

// The spooler's answer about a job it accepted is asked on the ticks after,
// shown while it holds the job in trouble, recorded once per trouble, and let
// go of once the job has left its queue. A data type other than RAW is told.
TEST_F(RelayEngineSpooled, AJobTheSpoolerHoldsInTroubleIsShownAndRecordedOnce) {
    engine.OnOK();
    testing_support::WriteFile(dir / "a.glf", "job");
    Tick();
    TickUntilSearching();
    ASSERT_FALSE(testing_support::Exists(dir / "a.glf"));
    Tick();
    EXPECT_NE(LastStatus().find(u8"a.glf を出力しました（3 バイト、XPS_PASS）"), std::string::npos) << LastStatus();
    EXPECT_EQ(1u, RecordLinesWith(u8"出力済み,データ形式 XPS_PASS"));

    spooler.state = platform::SpoolJobState::PaperOut;
    Tick();
    EXPECT_EQ(u8"プリンター ラベル 1 は用紙切れです（a.glf）", LastStatus());
    EXPECT_EQ(u8"Trouble プリンターは用紙切れです", LastIcon());
    spooler.state = platform::SpoolJobState::Unknown;  // the spooler restarting tells nothing
    Tick();
    Tick();
    EXPECT_EQ(u8"プリンター ラベル 1 は用紙切れです（a.glf）", LastStatus());
    spooler.state = platform::SpoolJobState::Offline;
    Tick();
    EXPECT_EQ(u8"プリンター ラベル 1 はオフラインです（a.glf）", LastStatus());
    spooler.state = platform::SpoolJobState::PaperOut;
    Tick();
    EXPECT_EQ(1u, RecordLinesWith(u8"プリンターで停止,プリンター ラベル 1 は用紙切れです、データ形式 XPS_PASS"));
    EXPECT_EQ(1u, RecordLinesWith(u8"プリンターで停止,プリンター ラベル 1 はオフラインです"));

    spooler.state = platform::SpoolJobState::Gone;
    Tick();
    EXPECT_NE(LastStatus().find(u8"a.glf を出力しました"), std::string::npos) << LastStatus();
    EXPECT_EQ("NoTrouble ", LastIcon());
    const size_t asked = spooler.asked.size();
    Tick();
    EXPECT_EQ(asked, spooler.asked.size()) << "a job that left the queue is not asked about";
    EXPECT_EQ(Log(asked, u8"ラベル 1 #42"), spooler.asked);
}

// A name the code page cannot spell is told as soon as the window says so,
// and no job is taken up for it until it is corrected.
TEST_F(RelayEngineSpooled, AnOutputNameTheCodePageCannotSpellTakesUpNoJob) {
    engine.SetOutputUnrepresentable(true);
    EXPECT_EQ(u8"停止中。出力先の名前にこの PC の文字コードで表せない文字があります", LastStatus());
    engine.OnOK();
    testing_support::WriteFile(dir / "a.glf", "job");
    Tick();
    Tick();
    EXPECT_EQ(Searching, engine.m_nRunState);
    EXPECT_EQ(0u, engine.m_nFileCount);
    EXPECT_EQ(0, fs.outputOpens);
    engine.SetOutputUnrepresentable(false);
    Tick();
    EXPECT_EQ(Outputting, engine.m_nRunState);
    TickUntilSearching();
}

}  // namespace
