// The relay's control loop: the run states, the polling on timer 1, the job
// start and the display refresh on timer 2. Runs on the interface thread and
// drives its window through RelayView.
#pragma once

#include <atomic>
#include <memory>
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
#include "relay/UndeletableJobs.h"
#include "relay/UnopenableJobs.h"

enum : unsigned { kSearchTimer = 1, kDisplayTimer = 2 };
enum : unsigned { kSearchPeriodMs = 2000, kDisplayPeriodMs = 5000, kCancelPollMs = 500 };

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
    void ExitCommand();
    void OnTimer(unsigned id);
    bool FindTargetFile();
    // Where the jobs that could not be deleted are remembered from run to run;
    // given once the profile section is known, before the first search.
    void KeepUndeletableJobsIn(std::unique_ptr<UndeletableJobs::Store> store);
    // How paths become UTF-8 for the status line and the record, and where
    // the record goes (UTF-8; nothing is written while it is empty). Given
    // once the settings are read, before the first search.
    void KeepRecordIn(platform::ToUtf8 toUtf8, const std::string& folder);
    // Ends the record's open repeated failure, as the program exits.
    void CloseRecord();

    WindowRect m_rectWindow;

protected:
    void CancelOutput();
    void ReturnToSearching();
    void PollSearchTimer();
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
    bool m_bRecordFailed = false;
    std::vector<std::string> m_approximateNames;  // passed over by the last search
    std::string m_shownStatus;
    std::string m_shownTrouble;
};
