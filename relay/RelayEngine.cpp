#include "relay/RelayEngine.h"

#include <memory>
#include <utility>

#include "platform/MbcsText.h"
#include "relay/Counters.h"
#include "relay/OutputWorker.h"
#include "relay/Search.h"

const char* const kCaptionStartSearch = u8"検索開始";
const char* const kCaptionStopSearch = u8"検索中断";
const char* const kCaptionCancelOutput = u8"出力中止";

int PriorityForSlider(int position) {
    static const int kPriorities[] = {
        platform::PriorityIdle,   platform::PriorityLowest,  platform::PriorityBelowNormal,
        platform::PriorityNormal, platform::PriorityAboveNormal, platform::PriorityHighest,
        platform::PriorityTimeCritical,
    };
    const int last = static_cast<int>(sizeof kPriorities / sizeof kPriorities[0]) - 1;
    return kPriorities[position < 0 ? 0 : position > last ? last : position];
}

RelayEngine::RelayEngine(RelayView& view, platform::FileSystem& fs, platform::Clock& clock,
                         platform::ThreadStarter& threads, platform::LeadByteTest isLeadByte,
                         platform::RecordFiles& files)
    : m_view(view),
      m_fs(fs),
      m_clock(clock),
      m_threads(threads),
      m_isLeadByte(isLeadByte),
      m_unopenable(isLeadByte),
      m_files(files),
      m_toUtf8(platform::AnsiToUtf8),
      m_record(m_files, platform::AnsiToUtf8),
      m_status(platform::AnsiToUtf8) {}

void RelayEngine::EnterStopped() {
    m_nRunState = Stopped;
    m_bWorkerRunning = 0;
    m_bAbort = 0;
}

void RelayEngine::ResetCounters() {
    m_nFileCount = 0;
    m_nByteCount = 0;
    m_timeStart = m_clock.NowSeconds();
}

void RelayEngine::OnOK() {
    switch (m_nRunState) {
    case Stopped:
        m_view.SaveFields();
        m_nPriority = m_view.ReadSliderPosition();
        SwitchSettingControls(false);
        m_view.EnableRunButton(true);
        m_view.SetRunButtonCaption(kCaptionStopSearch);
        m_nRunState = Searching;
        m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
        break;
    case Searching:
        SwitchSettingControls(true);
        m_view.EnableRunButton(true);
        m_view.SetRunButtonCaption(kCaptionStartSearch);
        m_view.KillTimer(kSearchTimer);
        m_nRunState = Stopped;
        break;
    case Outputting:
        CancelOutput();
        break;
    default:
        break;
    }
}

// The state stays Outputting with the run button disabled; the next tick of
// timer 1 sees the worker gone and returns to Searching. A worker that has
// already ended leaves nothing to cancel: the state is settled at once, so an
// exit command right after a job is not lost.
void RelayEngine::CancelOutput() {
    if (m_bCancelling) {
        return;  // a command dispatched while the window waits below
    }
    if (m_bWorkerRunning.load(std::memory_order_acquire) == 0) {
        ReturnToSearching();
        return;
    }
    m_bCancelling = true;
    m_view.BeginWaitCursor();
    m_view.EnableRunButton(false);
    m_bAbort = 1;
    // Once per cancel, and only at a thread that is still there.
    m_threads.InterruptBlockedIo();
    m_view.WaitUntil([this] { return m_bWorkerRunning.load(std::memory_order_acquire) == 0; },
                     kCancelPollMs);
    m_view.EndWaitCursor();
    m_bCancelling = false;
}

void RelayEngine::OnCancel() {
    if (m_nRunState != Searching && m_nRunState != Stopped) {
        return;  // never leave a running output behind; the exit command cancels it first
    }
    m_view.SaveFields();
    m_nPriority = m_view.ReadSliderPosition();
    m_bIconic = m_view.IsMinimized() ? 1 : 0;
    m_view.RemoveTrayIcon();
    m_view.EndDialog();
}

void RelayEngine::ExitCommand() {
    if (m_nRunState != Stopped) {
        OnOK();
    }
    OnCancel();
}

// Timers are one-shot: killed as the tick begins and armed again when its work
// is done, so a slow search or refresh never lets ticks queue up.
void RelayEngine::OnTimer(unsigned id) {
    m_view.KillTimer(id);
    if (id == kSearchTimer) {
        PollSearchTimer();
    } else if (id == kDisplayTimer) {
        RefreshDisplay();
    }
}

void RelayEngine::PollSearchTimer() {
    UpdateStatus();
    if (m_bCancelling) {
        // The cancel wait dispatches messages; the state is settled after it.
        m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
        return;
    }
    switch (m_nRunState) {
    case Searching:
        if (FindTargetFile()) {
            StartJob();
        } else {
            m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
        }
        break;
    case Outputting:
        if (m_bWorkerRunning.load(std::memory_order_acquire) == 0) {
            ReturnToSearching();
        }
        m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
        break;
    default:
        break;  // a tick queued before the timer was killed in Stopped
    }
}

void RelayEngine::ReturnToSearching() {
    m_view.EnableRunButton(true);
    m_view.SetRunButtonCaption(kCaptionStopSearch);
    m_nRunState = Searching;
}

bool RelayEngine::FindTargetFile() {
    // Only the search folder's memories are looked at here, on every poll; a
    // folder no longer searched (a dead server's share) is left to the worker.
    const std::string folder = SearchFolder();
    const PathFilter inSearchFolder = [&](const std::string& path) { return IsWithin(path, folder); };
    FolderSnapshot folders(m_fs, m_isLeadByte);
    m_undeletable.ForgetChanged(folders, inSearchFolder);
    m_unopenable.ForgetChanged(folders, inSearchFolder);
    std::vector<std::string> approximate;
    std::vector<PassedOver> unopenable;
    const int64_t now = m_clock.NowSeconds();
    const bool found = ::FindTargetFile(m_strFolder, m_strTarget, m_strFoundFile, m_fs, m_undeletable, m_isLeadByte,
                                        {{m_strOutput, m_strHeader, m_strFooter}, &m_unopenable, now, &approximate,
                                         &unopenable, &m_strWaiting});
    // Recorded as the worker records what it cannot open, on the next tick.
    for (const PassedOver& file : unopenable) {
        JobOutcome outcome;
        outcome.result = JobResult::Unopenable;
        outcome.job = file.path;
        outcome.bytes = file.size;
        outcome.unopenableKind = file.kind;
        outcome.started = outcome.ended = now;
        m_outcomes.Add(std::move(outcome));
    }
    if (!found) {
        // Only a search that saw the whole folder tells what lies in it. The
        // folder's own entry (or, in a drive's root, any entry) shows it can be read.
        m_approximateNames = std::move(approximate);
        platform::DirEntry any;
        const bool root = m_strFolder.size() == 3 && m_strFolder[1] == ':';
        m_bFolderUnreachable = !m_fs.FindFirst(m_strFolder + "*", [](const platform::DirEntry&) { return true; }, &any) &&
                               !(root && !m_fs.IsMissing(m_strFolder));
    } else {
        m_bFolderUnreachable = false;
    }
    return found;
}

// The search folder as the found paths begin, with its separator.
std::string RelayEngine::SearchFolder() const {
    std::string folder = m_strFolder;
    if (!folder.empty() && !mbcs::EndsWithChar(folder, '\\', m_isLeadByte)) {
        folder += '\\';
    }
    return folder;
}

void RelayEngine::KeepRecordIn(platform::ToUtf8 toUtf8, const std::string& folder) {
    m_toUtf8 = toUtf8;
    m_status.ConvertWith(toUtf8);
    m_record.KeepIn(folder, m_bRecord != 0, m_nRecordDays);
    m_record.DeleteOldDays(m_clock.NowSeconds());
}

void RelayEngine::CloseRecord() {
    TakeOutcomes();
    m_record.Flush();
}

void RelayEngine::TakeOutcomes() {
    for (const JobOutcome& outcome : m_outcomes.TakeAll()) {
        m_status.Outcome(outcome, m_files.ToLocalTime(outcome.ended));
        m_bRecordFailed = !m_record.Write(RecordEntryOf(outcome));
    }
}

// Outcomes are taken on each tick of timer 1, so the record and the status
// line are at most one poll behind the worker.
void RelayEngine::UpdateStatus() {
    TakeOutcomes();
    m_status.Observe(Observe(m_clock.NowSeconds()));
    // The window and the tray are touched only when what they show changes.
    const std::string line = m_status.StatusLine(), trouble = m_status.TroubleShort();
    if (line != m_shownStatus) {
        m_shownStatus = line;
        m_view.ShowStatus(line);
    }
    if (trouble != m_shownTrouble) {
        m_shownTrouble = trouble;
        m_view.ShowTrouble(!trouble.empty(), trouble);
    }
}

StatusObservation RelayEngine::Observe(int64_t now) {
    const auto phase = static_cast<WorkerPhase>(m_nWorkerPhase.load(std::memory_order_acquire));
    const bool running = m_bWorkerRunning.load(std::memory_order_acquire) != 0;
    if (phase != m_lastPhase) {
        m_lastPhase = phase;
        m_phaseSince = now;
    }
    const uint32_t bytes = m_nByteCount.load(std::memory_order_relaxed);
    if (phase != WorkerPhase::Copying || bytes != m_nLastBytes) {
        m_nLastBytes = bytes;
        m_lastProgress = now;
    }
    StatusObservation seen;
    seen.output = m_strOutput;
    seen.header = m_strHeader;
    seen.footer = m_strFooter;
    seen.folderUnreachable = m_bFolderUnreachable && m_nRunState != Stopped;
    seen.folder = m_strFolder;
    if (running) {
        seen.job = m_strFoundFile;
        seen.stalledSeconds = phase == WorkerPhase::Copying ? now - m_lastProgress : 0;
        if (phase == WorkerPhase::WaitingForCompanion) {
            seen.companionSeconds = now - m_phaseSince;
            seen.companion = CompanionPath(m_strFoundFile, m_strWaiting, m_isLeadByte);
        }
    }
    const std::string folder = SearchFolder();
    seen.stuckJobs = m_undeletable.Count(folder);
    seen.stuckJob = m_undeletable.Newest(folder);
    seen.strays = m_unopenable.Count(folder) + m_approximateNames.size();
    seen.strayNameUtf8 = !m_approximateNames.empty() ? m_approximateNames.front() : m_toUtf8(m_unopenable.AnyPath(folder));
    const size_t slash = seen.strayNameUtf8.find_last_of("\\/");
    if (slash != std::string::npos) seen.strayNameUtf8.erase(0, slash + 1);
    seen.recordFailed = m_bRecordFailed;
    return seen;
}

JobRecordEntry RelayEngine::RecordEntryOf(const JobOutcome& outcome) const {
    JobRecordEntry entry;
    entry.time = outcome.ended;
    entry.job = outcome.job;
    entry.bytes = outcome.bytes;
    entry.output = m_strOutput;
    entry.result = outcome.result;
    entry.milliseconds = static_cast<uint32_t>(outcome.ended > outcome.started ? (outcome.ended - outcome.started) * 1000 : 0);
    std::vector<std::string> details;
    if (outcome.outputRefused) details.push_back(u8"出力先が出力するファイルと同じです");
    if (*OpenFailureText(outcome.outputFailure)) details.push_back(OpenFailureText(outcome.outputFailure));
    if (outcome.headerMissing) details.push_back(u8"ヘッダー " + m_toUtf8(m_strHeader) + u8" を開けません");
    if (outcome.footerMissing) details.push_back(u8"フッター " + m_toUtf8(m_strFooter) + u8" を開けません");
    if (outcome.keptChanged) details.push_back(u8"出力中に書き換えられたため残しました");
    if (outcome.result == JobResult::Undeletable) details.push_back(u8"手で削除してください");
    for (size_t i = 0; i < details.size(); ++i) entry.detail += (i ? u8"、" : "") + details[i];
    return entry;
}

void RelayEngine::KeepUndeletableJobsIn(std::unique_ptr<UndeletableJobs::Store> store) {
    m_undeletable.KeepIn(std::move(store));
}

// The worker gets its own copies of the strings: the display refresh reassigns
// the members while it runs.
void RelayEngine::StartJob() {
    const int priority = PriorityForSlider(m_nPriority);
    // Built before the flags are set: nothing after them may fail and leave
    // the window waiting for a worker that never ran.
    std::unique_ptr<OutputJob> job(new OutputJob{
        m_strFoundFile, m_strWaiting, m_strOutput, m_strHeader, m_strFooter, &m_bWorkerRunning,
        &m_bAbort, &m_nByteCount, &m_undeletable, &m_fs, &m_clock, m_isLeadByte, &m_unopenable, &m_outcomes,
        &m_nWorkerPhase});
    const int64_t now = m_clock.NowSeconds();
    if (now - m_lastTidyElsewhere >= kTidyElsewhereSeconds || now < m_lastTidyElsewhere) {
        m_lastTidyElsewhere = now;
        job->tidyOutside = SearchFolder();
    }
    m_view.EnableRunButton(true);
    m_view.SetRunButtonCaption(kCaptionCancelOutput);
    m_bWorkerRunning = 1;
    ++m_nFileCount;
    m_bAbort = 0;
    if (m_threads.Start(OutputThreadProc, job.get(), priority)) {
        job.release();  // the worker owns it now
    } else {
        // Nobody else would clear it: the next tick returns to Searching and
        // the search finds the file again.
        m_bWorkerRunning = 0;
    }
    m_nRunState = Outputting;
    m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
}

void RelayEngine::RefreshDisplay() {
    m_view.SaveFields();
    // The file-count field is empty only until the first refresh fills it.
    if (m_strFileCount.empty()) {
        if (m_bIconic) {
            m_view.HideWindow();
            m_view.MinimizeWindow();
        } else {
            m_view.ShowWindow();
            m_view.MoveWindowTo(m_rectWindow);
        }
    }
    m_record.DeleteOldDays(m_clock.NowSeconds());
    FormatThousands(m_strFileCount, m_nFileCount);
    FormatThousands(m_strByteCount, m_nByteCount.load(std::memory_order_relaxed));
    m_strUptime = FormatUptime(m_clock.NowSeconds() - m_timeStart);
    m_view.LoadFields();
    m_view.SetTimer(kDisplayTimer, kDisplayPeriodMs);
}

void RelayEngine::SwitchSettingControls(bool editable) {
    static const SettingControl kEditable[] = {
        SettingControl::Folder, SettingControl::Waiting, SettingControl::Target, SettingControl::Output,
        SettingControl::OutputMenu, SettingControl::Header, SettingControl::Footer, SettingControl::Priority,
    };
    static const SettingControl kShownWhenStopped[] = {
        SettingControl::BrowseFooter, SettingControl::BrowseHeader, SettingControl::BrowseFolder,
        SettingControl::Exit,
    };
    for (const SettingControl control : kEditable) {
        m_view.EnableControl(control, editable);
    }
    for (const SettingControl control : kShownWhenStopped) {
        m_view.ShowControl(control, editable);
    }
}
