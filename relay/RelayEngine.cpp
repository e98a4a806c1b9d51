#include "relay/RelayEngine.h"

#include <algorithm>
#include <memory>
#include <set>
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
        m_bFolderChanged = 1;  // the settings may name another folder
        m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
        break;
    case Searching:
        SwitchSettingControls(true);
        m_view.EnableRunButton(true);
        m_view.SetRunButtonCaption(kCaptionStartSearch);
        m_view.KillTimer(kSearchTimer);
        m_nRunState = Stopped;
        UpdateStatus();
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
    m_wakeUp.Signal();
    // Only at a thread that is still there, and again on every poll: a read or
    // write it starts after an interrupt would block it as long as before. A
    // worker that no interrupt reaches (a file on a server that is gone) is
    // waited for only so long: the state stays Outputting until it ends.
    const int64_t giveUp = m_clock.NowSeconds() + kCancelGiveUpSeconds;
    m_view.WaitUntil(
        [this, giveUp] {
            if (m_bWorkerRunning.load(std::memory_order_acquire) == 0 || m_clock.NowSeconds() >= giveUp) {
                return true;
            }
            m_threads.InterruptBlockedIo();
            return false;
        },
        kCancelPollMs);
    m_view.EndWaitCursor();
    m_bCancelling = false;
}

// Every way here is the operator's: Windows ending the session never comes
// this way, so the program comes back after an update restart.
void RelayEngine::OnCancel() {
    if (m_nRunState != Searching && m_nRunState != Stopped) {
        return;  // never leave a running output behind; the exit command cancels it first
    }
    m_view.WithdrawRestart();
    TakeSettingsFromWindow();
    m_view.RemoveTrayIcon();
    m_view.EndDialog();
}

void RelayEngine::TakeSettingsFromWindow() {
    m_view.SaveFields();
    m_nPriority = m_view.ReadSliderPosition();
    m_bIconic = m_view.IsMinimized() ? 1 : 0;
}

// An exit ends the window even when the cancel could not end the worker: the
// settings are taken as at any exit, and the program then ends its process
// at once (WorkerAbandoned), before anything the worker points into is gone.
void RelayEngine::ExitCommand() {
    if (m_nRunState != Stopped) {
        OnOK();
    }
    if (m_nRunState == Outputting && m_bWorkerRunning.load(std::memory_order_acquire) != 0 && !m_bCancelling) {
        m_bWorkerAbandoned = true;
        m_view.WithdrawRestart();
        TakeSettingsFromWindow();
        m_view.RemoveTrayIcon();
        m_view.EndDialog();
        return;
    }
    OnCancel();
}

// Timers are one-shot: killed as the tick begins and armed again when its work
// is done, so a slow search or refresh never lets ticks queue up.
void RelayEngine::OnTimer(unsigned id) {
    m_view.KillTimer(id);
    if (id == kSearchTimer) {
        m_bSearchSoon = false;
        PollSearchTimer();
    } else if (id == kStatusTimer) {
        UpdateStatus();
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
        SearchIfDue();
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

// A search that found nothing is not repeated while the folder's watch
// reports no change, until a back-off runs out or the full search is due:
// a folder of thousands of other files then costs nothing between changes.
void RelayEngine::SearchIfDue() {
    WatchSearchFolder();
    const int64_t now = m_clock.NowSeconds();
    const bool quiet = m_watch && m_watch->Healthy() && m_bFolderChanged.load(std::memory_order_acquire) == 0 &&
                       m_bLastSearchEmpty && now >= m_lastFullSearch && now - m_lastFullSearch < kFullSearchSeconds &&
                       !m_unopenable.AnyDue(now);
    bool found = false;
    if (!quiet) {
        // Cleared before the listing: a change during it is searched again.
        m_bFolderChanged.store(0, std::memory_order_release);
        m_lastFullSearch = now;
        found = FindTargetFile();
        m_bLastSearchEmpty = !found && !m_bFolderUnreachable;
        // The job just sent, found again at once (kept as rewritten, or kept
        // by a fault): never at full speed, but on the next poll or change.
        found = found && (m_strHeldBack.empty() || m_strFoundFile != m_strHeldBack);
    }
    // While the output cannot be opened no job is taken up: the state stays
    // Searching (one click stops it), the counter stays, the job stays.
    const bool refused = found && NamesAnyOf(m_fs, m_strOutput, {m_strFoundFile, m_strHeader, m_strFooter});
    if (refused) {
        NoteOutputRefusal(platform::OpenFailure::None, true);
    } else if (!m_bOutputUnrepresentable && OutputOpens(found) && found) {
        StartJob();
        return;
    }
    m_view.SetTimer(kSearchTimer, kSearchPeriodMs);
}

bool RelayEngine::OutputOpens(bool jobFound) {
    if (!m_status.OutputTroubleStands()) {
        return true;
    }
    const platform::OpenFailure failure = m_fs.TryOutput(m_strOutput);
    if (failure == platform::OpenFailure::None) {
        m_status.OutputOpens();
        UpdateStatus();
        return true;
    }
    if (jobFound) {
        NoteOutputRefusal(failure, false);
    }
    return false;
}

// Recorded and shown as the worker would have, had it been started.
void RelayEngine::NoteOutputRefusal(platform::OpenFailure failure, bool namesOwnFile) {
    JobOutcome outcome;
    outcome.result = JobResult::OutputUnopenable;
    outcome.job = m_strFoundFile;
    outcome.outputFailure = failure;
    outcome.outputRefused = namesOwnFile;
    outcome.ended = m_clock.NowSeconds();
    platform::FileIdentity identity;
    if (m_fs.Identify(m_strFoundFile, &identity)) {
        outcome.bytes = identity.size;
    }
    m_outcomes.Add(std::move(outcome));
}

// The watch follows the search folder; one that broke, or a folder that could
// not be watched yet (not there), is tried again on the next poll.
void RelayEngine::WatchSearchFolder() {
    const std::string folder = SearchFolder();
    if (m_watch && folder == m_watchedFolder && m_watch->Healthy()) {
        return;
    }
    m_watch.reset();
    if (!m_postFolderChanged) {
        m_postFolderChanged = m_view.EventPoster(RelayEvent::FolderChanged);
    }
    m_watchedFolder = folder;
    m_watch = m_fs.WatchFolder(m_strFolder, [this] {
        m_bFolderChanged.store(1, std::memory_order_release);
        m_wakeUp.Signal();
        if (m_bChangePosted.exchange(1) == 0) {
            m_postFolderChanged();
        }
    });
    m_bFolderChanged = 1;
}

void RelayEngine::OnEvent(RelayEvent event) {
    if (event == RelayEvent::WorkerEnded) {
        OnWorkerEnded();
    } else if (event == RelayEvent::FolderChanged) {
        OnFolderChanged();
    }
}

// A job that reached the output lets the next one start at once, so that a
// backlog drains at the printer's pace. A try that sent nothing (the output
// or the job could not be opened, a cancel) waits for the next poll as before,
// so that nothing loops faster than the poll on a failing output.
void RelayEngine::OnWorkerEnded() {
    if (m_bCancelling || m_nRunState != Outputting || m_bWorkerRunning.load(std::memory_order_acquire) != 0) {
        return;  // a cancel settles the state itself; a late message finds nothing to do
    }
    m_bDraining = true;
    UpdateStatus();
    // The run button is set back only when no next job starts at once: in a
    // backlog it keeps saying 出力中止 rather than flicker job by job.
    m_nRunState = Searching;
    if (m_bLastJobSent) {
        m_bFolderChanged = 1;
        m_bSearchSoon = false;
        m_view.KillTimer(kSearchTimer);
        m_strHeldBack = m_strFoundFile;
        PollSearchTimer();
        m_strHeldBack.clear();
    }
    m_bDraining = false;
    if (m_nRunState == Searching) {
        ReturnToSearching();
    }
}

// The first change of a burst arms timer 1 to search a moment later; the
// rest of the burst is taken in by that one search.
void RelayEngine::OnFolderChanged() {
    m_bChangePosted.store(0, std::memory_order_release);
    if (m_nRunState != Searching || m_bCancelling || m_bSearchSoon) {
        return;  // a running worker wakes by itself
    }
    m_bSearchSoon = true;
    m_view.KillTimer(kSearchTimer);
    m_view.SetTimer(kSearchTimer, kChangeCoalesceMs);
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
    m_bFoundReady = false;
    const bool found = ::FindTargetFile(m_strFolder, m_strTarget, m_strFoundFile, m_fs, m_undeletable, m_isLeadByte,
                                        {{m_strOutput, m_strHeader, m_strFooter}, &m_unopenable, now, &approximate,
                                         &unopenable, &m_strWaiting, &m_bFoundReady});
    // Recorded as the worker records what it cannot open, on the next tick.
    for (const PassedOver& file : unopenable) {
        JobOutcome outcome;
        outcome.result = JobResult::Unopenable;
        outcome.job = file.path;
        outcome.bytes = file.size;
        outcome.unopenableKind = file.kind;
        outcome.ended = now;
        m_outcomes.Add(std::move(outcome));
    }
    // A name that does not reach its file is recorded when first passed over,
    // by its real name; a complete search forgets those no longer there.
    std::set<std::string> seen;
    for (const std::string& name : approximate) {
        if (!seen.insert(name).second || m_recordedNames.count(name)) {
            continue;
        }
        JobOutcome outcome;
        outcome.result = JobResult::Unopenable;
        outcome.nameUnusable = true;
        outcome.jobUtf8 = outcome.job = m_toUtf8(folder) + name;
        outcome.ended = now;
        m_outcomes.Add(std::move(outcome));
    }
    if (!found) {
        // Only a search that saw the whole folder tells what lies in it.
        m_approximateNames = std::move(approximate);
        const bool root = m_strFolder.size() == 3 && m_strFolder[1] == ':';
        m_bFolderUnreachable = !m_fs.CanList(m_strFolder) && !(root && !m_fs.IsMissing(m_strFolder));
    } else {
        m_bFolderUnreachable = false;
    }
    if (found || m_bFolderUnreachable) {
        m_recordedNames.insert(seen.begin(), seen.end());
    } else {
        m_recordedNames = std::move(seen);
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
    m_record.Close(m_clock.NowSeconds());
}

void RelayEngine::TakeOutcomes() {
    for (const JobOutcome& outcome : m_outcomes.TakeAll()) {
        m_spoolWatch.Follow(outcome);
        m_status.Outcome(outcome, m_files.ToLocalTime(outcome.ended));
        m_record.Write(RecordEntryOf(outcome));
        m_bLastJobSent = outcome.result == JobResult::Sent || outcome.result == JobResult::NoHeaderFooter ||
                         outcome.result == JobResult::Undeletable;
    }
}

// Outcomes are taken on each tick of timer 1, so the record and the status
// line are at most one poll behind the worker.
void RelayEngine::UpdateStatus() {
    for (JobOutcome& trouble : m_spoolWatch.Look(*m_spoolQueue, m_clock.NowSeconds())) {
        m_outcomes.Add(std::move(trouble));
    }
    TakeOutcomes();
    m_record.Retry(m_clock.NowSeconds());
    m_status.Observe(Observe(m_clock.NowSeconds()));
    // The window and the tray are touched only when what they show changes.
    const std::string line = m_status.StatusLine(), trouble = m_status.TroubleShort();
    if (line != m_shownStatus) {
        const int64_t nowMs = m_clock.MonotonicMs();
        if (m_bDraining && m_lastStatusShownMs >= 0 && nowMs - m_lastStatusShownMs < kStatusDrainMs &&
            trouble == m_shownTrouble) {
            m_view.SetTimer(kStatusTimer, kStatusDrainMs);
        } else {
            m_shownStatus = line;
            m_lastStatusShownMs = nowMs;
            m_view.ShowStatus(line);
        }
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
    const bool copying = phase == WorkerPhase::Copying || phase == WorkerPhase::Reading;
    if (!copying || bytes != m_nLastBytes) {
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
        // A read that makes no progress is the job's source (a share whose
        // server is gone, a placeholder that cannot be fetched), not the printer.
        seen.stalledSeconds = phase == WorkerPhase::Copying ? now - m_lastProgress : 0;
        seen.readStalledSeconds = phase == WorkerPhase::Reading ? now - m_lastProgress : 0;
        seen.busySeconds = phase == WorkerPhase::WaitingForProducer ? now - m_phaseSince : 0;
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
    seen.recordWaiting = m_record.Waiting();
    seen.recordSecondDay = m_record.SecondFileDay();
    seen.stopped = m_nRunState == Stopped;
    seen.waiting = m_strWaiting;
    seen.phase = running ? phase : WorkerPhase::Idle;
    if (!m_strUnsetFolder.empty() && SearchFolder() == m_strUnsetFolder + (mbcs::EndsWithChar(m_strUnsetFolder, '\\', m_isLeadByte) ? "" : "\\")) {
        seen.unsetFolder = m_strUnsetFolder;
    }
    // A header or footer left out is looked for again while that trouble stands.
    seen.headerBack = m_status.HeaderMissing() && !m_fs.IsMissing(m_strHeader);
    seen.footerBack = m_status.FooterMissing() && !m_fs.IsMissing(m_strFooter);
    seen.outputUnrepresentable = m_bOutputUnrepresentable;
    if (const JobOutcome* held = m_spoolWatch.Trouble()) {
        seen.heldJob = held->job;
        seen.heldPrinterUtf8 = held->spooled.printer;
        seen.heldState = held->spoolState;
    }
    return seen;
}

JobRecordEntry RelayEngine::RecordEntryOf(const JobOutcome& outcome) const {
    JobRecordEntry entry;
    entry.time = outcome.ended;
    entry.job = outcome.job;
    entry.jobUtf8 = outcome.jobUtf8;
    entry.bytes = outcome.bytes;
    entry.output = m_strOutput;
    entry.result = outcome.result;
    if (outcome.openingMs >= 0) {
        entry.milliseconds = std::max<int64_t>(outcome.endedMs - outcome.openingMs, 0);
        if (outcome.foundMs >= 0) entry.waitMilliseconds = std::max<int64_t>(outcome.openingMs - outcome.foundMs, 0);
    }
    std::vector<std::string> details;
    if (outcome.outputRefused) details.push_back(u8"出力先が出力するファイルと同じです");
    if (*OpenFailureText(outcome.outputFailure)) details.push_back(OpenFailureText(outcome.outputFailure));
    if (outcome.headerMissing) details.push_back(u8"ヘッダー " + m_toUtf8(m_strHeader) + u8" を開けません");
    if (outcome.footerMissing) details.push_back(u8"フッター " + m_toUtf8(m_strFooter) + u8" を開けません");
    if (outcome.headerFailed) details.push_back(u8"ヘッダーを出力できませんでした");
    if (outcome.footerFailed) details.push_back(u8"フッターを出力できませんでした");
    if (outcome.result == JobResult::HeldByPrinter) details.push_back(PrinterTroubleText(outcome.spooled.printer, outcome.spoolState));
    if (!outcome.spooled.dataType.empty() && outcome.spooled.dataType != "RAW") details.push_back(u8"データ形式 " + outcome.spooled.dataType);
    if (outcome.keptChanged) details.push_back(u8"出力中に書き換えられたため残しました");
    if (outcome.result == JobResult::Undeletable) details.push_back(u8"手で削除してください");
    if (outcome.nameUnusable) details.push_back(u8"名前からこのファイルに届きません（この PC の文字コードで表せない名前やデバイスの名前）");
    if (outcome.unopenableKind == platform::FileKind::Outside) details.push_back(u8"フォルダーの外のファイルへのリンクです");
    if (outcome.unopenableKind == platform::FileKind::NotAFile) details.push_back(u8"ファイルではありません（パイプやデバイス）");
    for (size_t i = 0; i < details.size(); ++i) entry.detail += (i ? u8"、" : "") + details[i];
    return entry;
}

void RelayEngine::SetOutputUnrepresentable(bool unrepresentable) {
    if (unrepresentable == m_bOutputUnrepresentable) return;
    m_bOutputUnrepresentable = unrepresentable;
    UpdateStatus();
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
        &m_nWorkerPhase, m_clock.MonotonicMs()});
    job->wakeUp = &m_wakeUp;
    job->readyWhenFound = m_bFoundReady;
    job->onEnded = m_view.EventPoster(RelayEvent::WorkerEnded);
    m_bLastJobSent = false;
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
    // While stopped no search tick runs: the troubles that stand are looked
    // at here, so that the line tells the present.
    if (m_nRunState == Stopped) {
        OutputOpens(false);
        UpdateStatus();
    }
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
    m_record.Retry(m_clock.NowSeconds());
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
