// The relay's control loop: the run states, the polling on timer 1, the job
// start and the display refresh on timer 2. Runs on the interface thread and
// drives its window through RelayView.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "relay/RelayState.h"
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
    RelayEngine(RelayView& view, platform::FileSystem& fs, platform::Clock& clock,
                platform::ThreadStarter& threads, platform::LeadByteTest isLeadByte);
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

    WindowRect m_rectWindow;

protected:
    void CancelOutput();
    void ReturnToSearching();
    void PollSearchTimer();
    void StartJob();
    void RefreshDisplay();
    void SwitchSettingControls(bool editable);

    RelayView& m_view;
    platform::FileSystem& m_fs;
    platform::Clock& m_clock;
    platform::ThreadStarter& m_threads;
    platform::LeadByteTest m_isLeadByte;
    UndeletableJobs m_undeletable;
    UnopenableJobs m_unopenable;
    bool m_bCancelling = false;  // a cancel is waiting for the worker
};
