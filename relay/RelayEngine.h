// The relay's control loop: the run states, the polling on timer 1, the job
// start and the display refresh on timer 2. Runs on the interface thread and
// drives its window through RelayView.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"
#include "relay/JobOutcome.h"
#include "relay/JobRecord.h"
#include "relay/RelayState.h"
#include "relay/StatusBoard.h"
#include "relay/RelayView.h"
#include "relay/SpoolWatch.h"
#include "relay/UndeletableJobs.h"
#include "relay/UnopenableJobs.h"
#include "platform/WakeUp.h"

enum : unsigned { kSearchTimer = 1, kDisplayTimer = 2, kStatusTimer = 3 };
// While a backlog drains, the status line changes job by job; it is redrawn
// at most this often then.
enum : unsigned { kStatusDrainMs = 250 };
enum : unsigned { kSearchPeriodMs = 2000, kDisplayPeriodMs = 5000, kCancelPollMs = 500 };
// How long a cancel waits for a worker that no interrupt reaches.
constexpr int64_t kCancelGiveUpSeconds = 15;
// A burst of changes in the folder (a producer writing a job in pieces) wakes
// one search this long after its first change.
enum : unsigned { kChangeCoalesceMs = 25 };
// While the folder's changes are reported, a search that found nothing is
// repeated only on a change, a back-off that runs out, or after this long.
constexpr int64_t kFullSearchSeconds = 30;

// Run-button captions.
extern const char* const kCaptionStartSearch;   // "検索開始"
extern const char* const kCaptionStopSearch;    // "検索中断"
extern const char* const kCaptionCancelOutput;  // "出力中止"

int PriorityForSlider(int position);

class RelayEngine : public RelayState {
public:
    // The record goes through `files`: the system's own unless a test gives its twin.
    RelayEngine(RelayView& view, platform::FileSystem& fs, platform::Clock& clock,
                platform::ThreadStarter& threads, platform::LeadByteTest isLeadByte,
                platform::RecordFiles& files = platform::SystemRecordFiles());
    RelayEngine(const RelayEngine&) = delete;
    RelayEngine& operator=(const RelayEngine&) = delete;

    // Window initialisation: first Stopped with both flags clear, later the
    // counters zeroed and the running time started.
    void EnterStopped();
    void ResetCounters();
    void OnOK();      // the run-button action
    void OnCancel();  // the exit action
    // Reads the settings the window holds (fields, slider, minimised state)
    // back, at every exit and when Windows ends the session.
    void TakeSettingsFromWindow();
    void ExitCommand();
    // True when the window ended although its worker still runs, blocked
    // where no cancel reaches: the process must end without tearing down.
    bool WorkerAbandoned() const { return m_bWorkerAbandoned; }
    void OnTimer(unsigned id);
    // What the worker and the folder's watch report, on the interface thread.
    void OnEvent(RelayEvent event);
    bool FindTargetFile();
    // Where the jobs that could not be deleted are remembered from run to run;
    // given once the profile section is known, before the first search.
    void KeepUndeletableJobsIn(std::unique_ptr<UndeletableJobs::Store> store);
    // How paths become UTF-8 for the status line and the record, and where
    // the record goes (UTF-8; nothing is written while it is empty). Given
    // once the settings are read, before the first search.
    void KeepRecordIn(platform::ToUtf8 toUtf8, const std::string& folder);
    // Ends the record's open repeated failure and keeps the lines that could
    // not be written for the next start, as the program exits.
    void CloseRecord();
    // Where the jobs a printer's spooler accepted are looked up (tests).
    void AskSpoolerWith(platform::SpoolQueue& queue) { m_spoolQueue = &queue; }
    // 出力先 as typed holds characters the ANSI code page cannot spell: said
    // at once, and no job is taken up for a name that would be mangled.
    void SetOutputUnrepresentable(bool unrepresentable);
    bool OutputUnrepresentable() const { return m_bOutputUnrepresentable; }

    WindowRect m_rectWindow;

protected:
    void CancelOutput();
    void ReturnToSearching();
    void PollSearchTimer();
    void SearchIfDue();
    void OnWorkerEnded();
    void OnFolderChanged();
    void WatchSearchFolder();
    // False while an output trouble stands and the output still cannot be
    // opened; true, and the trouble over, once it opens. A job found meanwhile
    // is noted as kept from the output.
    bool OutputOpens(bool jobFound);
    // Notes a try of the found job that the output kept from starting.
    void NoteOutputRefusal(platform::OpenFailure failure, bool namesOwnFile);
    void StartJob();
    void RefreshDisplay();
    void SwitchSettingControls(bool editable);
    // Takes the worker's outcomes into the record and shows what stands now.
    void UpdateStatus();
    void TakeOutcomes();
    StatusObservation Observe(int64_t now);
    JobRecordEntry RecordEntryOf(const JobOutcome& outcome) const;
    std::string SearchFolder() const;

    RelayView& m_view;
    platform::FileSystem& m_fs;
    platform::Clock& m_clock;
    platform::ThreadStarter& m_threads;
    platform::LeadByteTest m_isLeadByte;
    UndeletableJobs m_undeletable;
    UnopenableJobs m_unopenable;
    bool m_bCancelling = false;  // a cancel is waiting for the worker
    bool m_bWorkerAbandoned = false;

    platform::RecordFiles& m_files;
    platform::ToUtf8 m_toUtf8;
    JobRecord m_record;
    StatusBoard m_status;
    JobOutcomes m_outcomes;
    std::atomic<int32_t> m_nWorkerPhase{0};  // a WorkerPhase, written by the worker
    WorkerPhase m_lastPhase = WorkerPhase::Idle;
    int64_t m_phaseSince = 0;
    uint32_t m_nLastBytes = 0;
    int64_t m_lastProgress = 0;
    bool m_bFolderUnreachable = false;
    // The memories of folders no longer searched are looked at this rarely.
    static constexpr int64_t kTidyElsewhereSeconds = 600;
    int64_t m_lastTidyElsewhere = 0;
    std::vector<std::string> m_approximateNames;  // passed over by the last search
    std::set<std::string> m_recordedNames;        // of those, the ones recorded
    SpoolWatch m_spoolWatch;
    platform::SpoolQueue* m_spoolQueue = &platform::SystemSpoolQueue();
    bool m_bOutputUnrepresentable = false;
    std::string m_shownStatus;
    std::string m_shownTrouble;

    // Reacting at once: the worker's end and the folder's changes arrive as
    // events; the 2-second tick stays as the safety net.
    platform::WakeUp m_wakeUp;                        // ends the worker's waits on a change
    std::atomic<int32_t> m_bFolderChanged{1};  // set by the watch; the next search must list
    std::atomic<int32_t> m_bChangePosted{0};   // one posted change at a time
    std::function<void()> m_postFolderChanged;
    bool m_bSearchSoon = false;  // timer 1 is armed for a change, not a poll
    bool m_bLastJobSent = false;
    bool m_bDraining = false;        // a job has just ended and the next may start
    int64_t m_lastStatusShownMs = -1;
    std::string m_strHeldBack;  // the job just sent, not to start again at once
    bool m_bFoundReady = false;  // the found job opened exclusively, its companion not there
    bool m_bLastSearchEmpty = false;
    int64_t m_lastFullSearch = 0;
    std::string m_watchedFolder;
    // Last, so that its thread has ended before any member it reaches goes.
    std::unique_ptr<platform::FolderWatch> m_watch;
};
