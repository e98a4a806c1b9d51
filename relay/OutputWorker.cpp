#include "relay/OutputWorker.h"

#include <algorithm>
#include <memory>

#include "platform/MbcsText.h"
#include "relay/Search.h"

namespace {

constexpr uint32_t kPollMs = 500;
// Where the system cannot say a delete is pending (Wine), a program that holds
// the file for a moment (an indexer, a scanner) keeps it there until it lets go.
constexpr int kGoneChecks = 20;
constexpr uint32_t kGoneCheckMs = 100;

bool AnyEntry(const platform::DirEntry&) {
    return true;
}

}  // namespace

unsigned OutputThreadProc(void* arg) {
    std::unique_ptr<OutputJob> job(static_cast<OutputJob*>(arg));
    std::atomic<int32_t>* const running = job->workerRunning;
    std::function<void()> onEnded;
    // Nothing may escape the thread, and the window must see the end whatever happened.
    try {
        OutputWorker(*job).Run();
        if (!job->tidyOutside.empty()) {
            const std::string& searched = job->tidyOutside;
            const PathFilter elsewhere = [&](const std::string& path) { return !IsWithin(path, searched); };
            FolderSnapshot folders(*job->fs, job->isLeadByte);
            job->undeletable->ForgetChanged(folders, elsewhere);
            job->unopenable->ForgetChanged(folders, elsewhere);
        }
    } catch (...) {
    }
    onEnded.swap(job->onEnded);
    job.reset();
    // Once the window sees this, it may start the next job; the message that
    // tells it so comes after, so that it never finds the worker still running.
    running->store(0, std::memory_order_release);
    if (onEnded) {
        onEnded();
    }
    return 0;
}

// Follows the runtime library's path split into drive, directory and base
// name, with its buffer sizes of 3, 256 and 256 bytes.
std::string CompanionPath(const std::string& foundFile, const std::string& suffix,
                          platform::LeadByteTest isLeadByte) {
    constexpr size_t kMaxDrive = 2, kMaxDir = 255, kMaxBase = 255;
    const size_t driveLength = foundFile.size() >= 2 && foundFile[1] == ':' ? kMaxDrive : 0;
    const std::string rest = foundFile.substr(driveLength);
    const size_t dirLength = mbcs::FolderPartLength(rest, isLeadByte);
    const std::string name = rest.substr(dirLength);
    size_t baseLength = name.size();
    for (size_t pos = 0; pos < name.size(); pos = mbcs::NextChar(name, pos, isLeadByte)) {
        if (name[pos] == '.') {
            baseLength = pos;
        }
    }
    return foundFile.substr(0, driveLength) + rest.substr(0, std::min(dirLength, kMaxDir)) +
           name.substr(0, std::min(baseLength, kMaxBase)) + suffix;
}

OutputWorker::~OutputWorker() { EnterPhase(WorkerPhase::Idle); }

void OutputWorker::Run() {
    m_outcome.job = m_job.foundFile;
    m_outcome.foundMs = m_job.foundMs;
    m_readyNow = m_job.readyWhenFound;
    // A producer that takes the job up again (its companion back) between
    // the waits and the open sends the worker back to waiting.
    while (WaitUntilReady() && !CopyToOutput()) {
    }
}

bool OutputWorker::WaitUntilReady() {
    if (m_readyNow) {
        m_readyNow = false;
        if (!Aborted()) {
            return true;
        }
        Report(JobResult::Cancelled);
        return false;
    }
    EnterPhase(WorkerPhase::WaitingForCompanion);
    while (!IsCompanionGone()) {
        // A job withdrawn by its producer while still being written is not waited for.
        if (Aborted()) {
            Report(JobResult::Cancelled);
            return false;
        }
        if (!FoundFileExists()) {
            return false;
        }
        Pause();
    }
    EnterPhase(WorkerPhase::WaitingForProducer);
    for (;;) {
        // Looked at before every exclusive open: a pipe or device that took
        // the job's name would block the open, a link would lead elsewhere.
        const platform::FileKind kind = m_job.fs->Inspect(m_job.foundFile);
        const platform::Probe probe = kind == platform::FileKind::DiskFile ? m_job.fs->ProbeExclusive(m_job.foundFile)
                                      : kind == platform::FileKind::Missing ? platform::Probe::Missing
                                                                             : platform::Probe::Unopenable;
        if (probe == platform::Probe::Ready) {
            break;
        }
        if (probe != platform::Probe::Busy) {
            // Waiting would not help, and the search would take the same file
            // first again and hold up every job behind it. A file that is
            // really gone is not listed and so not remembered.
            m_job.unopenable->Remember(*m_job.fs, m_job.foundFile, m_job.clock->NowSeconds());
            if (probe == platform::Probe::Unopenable) {
                m_outcome.unopenableKind = kind;
                Report(JobResult::Unopenable);
            }
            return false;
        }
        if (Aborted()) {
            Report(JobResult::Cancelled);
            return false;
        }
        Pause();
    }
    if (Aborted()) {
        Report(JobResult::Cancelled);
        return false;
    }
    return true;
}

// A search that fails is no sign that the companion went: only one that
// finds nothing says so.
bool OutputWorker::IsCompanionGone() {
    return m_job.fs->FindAny(CompanionPath(m_job.foundFile, m_job.waiting, m_job.isLeadByte)) == platform::Match::None;
}

bool OutputWorker::CopyToOutput() {
    // Opened without sharing and cut at the end, an output that names a file
    // of the copy would keep that file from being read and then destroy it.
    if (NamesAnyOf(*m_job.fs, m_job.output, {m_job.foundFile, m_job.header, m_job.footer})) {
        m_outcome.outputRefused = true;
        Report(JobResult::OutputUnopenable);
        return true;
    }
    // Opened first, so that a job that has become unreadable since the probe
    // puts nothing on the output; it stays for the next search.
    std::unique_ptr<platform::File> job = m_job.fs->OpenJob(m_job.foundFile);
    // A producer that took the job up again since it was last looked at is
    // waited for, as one that had never let go.
    if (!job && m_job.fs->ProbeExclusive(m_job.foundFile) == platform::Probe::Busy) {
        Pause();
        return false;
    }
    if (!job) {
        // Whatever the reason (write-protected media, a network error, a
        // file swapped for a link), trying again at once would fail the same
        // way and hold up every job behind it.
        m_job.unopenable->Remember(*m_job.fs, m_job.foundFile, m_job.clock->NowSeconds());
        Report(JobResult::Unopenable);
        return true;
    }
    // Open now, it is ours: no producer can write to it meanwhile.
    if (!IsCompanionGone()) {
        return false;
    }
    m_sizeKnown = job->Identify(&m_opened);
    if (m_sizeKnown) {
        m_outcome.bytes = m_opened.size;
    }
    m_outcome.openingMs = m_job.clock->MonotonicMs();
    const std::unique_ptr<platform::File> output =
        m_job.fs->OpenOutput(m_job.output, m_job.foundFile, &m_outcome.outputFailure);
    if (!output) {
        Report(JobResult::OutputUnopenable);
        return true;
    }
    m_outcome.spooled = output->Spooled();
    EnterPhase(WorkerPhase::Copying);
    // A plain-file output ends with this job, not with what an earlier, longer
    // job left; one the job did not reach whole keeps the bytes beyond.
    if (CopyJob(*output, job)) {
        output->TruncateIfDiskFile();
    }
    return true;
}

bool OutputWorker::CopyJob(platform::File& output, std::unique_ptr<platform::File>& job) {
    if (Aborted()) {
        Report(JobResult::Cancelled);
        return false;
    }
    const Part header = AppendFileToOutput(m_job.header, output);
    m_outcome.headerMissing = header == Part::Missing;
    if (Aborted()) {
        Report(JobResult::Cancelled);
        return false;
    }
    // No job behind a header the output did not take: it is sent again whole.
    if (header == Part::Failed) {
        m_outcome.headerFailed = true;
        Report(JobResult::WriteFailed);
        return false;
    }
    uint64_t bytesSent = 0;
    Copy copied = CopyFile(*job, output, &bytesSent);
    // Every byte the job had when it was opened, or has now, reached the
    // output, however the copy ended: a read that fails where the end would
    // have been told, a cancel after the last chunk. A port has printed it
    // all, so it must not stay to be printed again; whether it grew meanwhile
    // is told below. (A writer that ignores sharing may have added to it
    // while it was sent, and what it added went out too.)
    platform::FileIdentity now;
    if (copied != Copy::Complete && ((m_sizeKnown && bytesSent == m_outcome.bytes) ||
                                     (job->Identify(&now) && now.size == bytesSent))) {
        copied = Copy::Complete;
    }
    if (Aborted() && (copied != Copy::Complete || output.CommitsOnFinish())) {
        Report(JobResult::Cancelled);
        return false;
    }
    if (copied == Copy::ReadFailed) {
        // A bad sector or a file that cannot be fetched would fail the same
        // way on the next search: tried again later, not before every job.
        m_job.unopenable->Remember(*m_job.fs, m_job.foundFile, m_job.clock->NowSeconds());
    }
    // A job that did not fully reach the output stays, to be sent again whole.
    // A port prints as it goes: the job goes before the footer, so that a
    // footer that fails cannot bring it back a second time.
    const bool commitsOnFinish = output.CommitsOnFinish();
    JobResult result = copied == Copy::ReadFailed ? JobResult::Unopenable : JobResult::WriteFailed;
    if (copied == Copy::Complete && !commitsOnFinish) {
        result = ConsumeJob(job, bytesSent);
    }
    // A cancel stops the output here: no footer after it.
    const Part footer = Aborted() ? Part::Skipped : AppendFileToOutput(m_job.footer, output);
    m_outcome.footerMissing = footer == Part::Missing;
    m_outcome.footerFailed = footer == Part::Failed;
    if (!commitsOnFinish) {
        Report(result);
        return copied == Copy::Complete;
    }
    // A spooled printer prints nothing until the document is closed: a cancel
    // or failure before that, the footer's too, throws the print job away and
    // keeps the job.
    if (copied != Copy::Complete || Aborted() || footer == Part::Failed || !output.Finish()) {
        Report(Aborted() ? JobResult::Cancelled : result);
        return false;
    }
    Report(ConsumeJob(job, bytesSent));
    return true;
}

// A part that cannot be opened or read to its end is left out (a port keeps
// what was read); one the output did not take whole has failed the output.
OutputWorker::Part OutputWorker::AppendFileToOutput(const std::string& source, platform::File& output) {
    if (source.empty()) {
        return Part::Appended;
    }
    const std::unique_ptr<platform::File> input = m_job.fs->OpenSource(source);
    if (!input) {
        return Part::Missing;
    }
    uint64_t bytesSent = 0;
    switch (CopyFile(*input, output, &bytesSent)) {
        case Copy::Complete: return Part::Appended;
        case Copy::ReadFailed: return Part::Missing;
        case Copy::WriteFailed: break;
    }
    return Part::Failed;
}

OutputWorker::Copy OutputWorker::CopyFile(platform::File& input, platform::File& output,
                                          uint64_t* bytesSent) {
    for (;;) {
        uint32_t bytesRead = 0;
        EnterPhase(WorkerPhase::Reading);
        if (!input.Read(m_buffer, sizeof m_buffer, &bytesRead)) {
            return Copy::ReadFailed;
        }
        if (bytesRead == 0) {
            return Copy::Complete;
        }
        uint32_t bytesWritten = 0;
        EnterPhase(WorkerPhase::Copying);
        const bool written = output.Write(m_buffer, bytesRead, &bytesWritten);
        *bytesSent += bytesWritten;
        // The worker is the counter's only writer, so a plain store suffices
        // and spares a locked add on every chunk.
        m_job.byteCount->store(m_job.byteCount->load(std::memory_order_relaxed) + bytesWritten,
                               std::memory_order_relaxed);
        if (!written || bytesWritten != bytesRead || Aborted()) {
            return Copy::WriteFailed;
        }
    }
}

// The waits look again after their poll, or at once when the folder changed.
void OutputWorker::Pause() {
    if (m_job.wakeUp) {
        m_job.clock->SleepMs(kPollMs, *m_job.wakeUp);
    } else {
        m_job.clock->SleepMs(kPollMs);
    }
}

bool OutputWorker::Aborted() const {
    return m_job.abort->load(std::memory_order_acquire) != 0;
}

void OutputWorker::EnterPhase(WorkerPhase phase) {
    if (m_job.phase) {
        m_job.phase->store(static_cast<int32_t>(phase), std::memory_order_release);
    }
}

// A job sent whole but without its header or footer is recorded as such; when
// another result applies, the detail tells of the missing part.
void OutputWorker::Report(JobResult result) {
    if (!m_job.outcomes) {
        return;
    }
    if (result == JobResult::Sent && !m_outcome.keptChanged && (m_outcome.headerMissing || m_outcome.footerMissing || m_outcome.footerFailed)) {
        result = JobResult::NoHeaderFooter;
    }
    m_outcome.result = result;
    m_outcome.ended = m_job.clock->NowSeconds();
    m_outcome.endedMs = m_job.clock->MonotonicMs();
    m_job.outcomes->Add(m_outcome);
}

// A failed look (access denied, a network error) is no sign that the job went:
// ending here would count it a second time when the search finds it again.
bool OutputWorker::FoundFileExists() { return !m_job.fs->IsMissing(m_job.foundFile); }

// Deletes the file that was sent, and only that one, through the handle it was
// read from. A file judged by what was sent: one that grew past the bytes sent
// (a producer appending after the end was read) is another job and stays. A
// job that cannot be deleted, or stays although the delete was accepted, is
// remembered, so that the search passes over it until it changes; so is one
// whose identity cannot be told, which is never printed twice.
JobResult OutputWorker::ConsumeJob(std::unique_ptr<platform::File>& job, uint64_t bytesSent) {
    platform::FileIdentity sent, named;
    if (!job->Identify(&sent)) {
        job.reset();
        RememberStuck(m_sizeKnown ? &m_opened : nullptr);
        return JobResult::Undeletable;
    }
    if (!m_job.fs->Identify(m_job.foundFile, &named)) {
        job.reset();
        RememberStuck(&sent);
        return JobResult::Undeletable;
    }
    // Written to while it was sent, or another file took the name where the
    // system lets it (a program that ignores sharing): relayed again as it is now.
    if (sent.size != bytesSent || !named.SameVersionAs(sent)) {
        m_outcome.keptChanged = true;
        return JobResult::Sent;
    }
    const platform::Deletion deletion = job->DeleteWhenClosed();
    // Taking off the read-only attribute for the delete moved the change
    // time: what may stay at the path is the file as it is now.
    platform::FileIdentity last = sent;
    job->Identify(&last);
    // A writer that ignores sharing (a server that does not keep share
    // modes) may have added to it at the last moment: not deleted then.
    if (deletion != platform::Deletion::Refused && (last.size != sent.size || last.lastWrite != sent.lastWrite)) {
        job->KeepAfterAll();
        m_outcome.keptChanged = true;
        return JobResult::Sent;
    }
    job.reset();
    if (deletion == platform::Deletion::Refused) {
        RememberStuck(&last);
        return JobResult::Undeletable;
    }
    return LookAfterDelete(last, deletion == platform::Deletion::Pending);
}

// Whether the file that was sent has left its path, looked at up to
// kGoneChecks more times a moment apart. A new job that took the name at once
// is another version, however its place on the volume looks; one still being
// written may look like the file sent for a moment (on FAT, the same size
// within the same two seconds), so only a file that looks the same for all
// the looks has stayed. After a delete that was accepted, a program that holds
// the file for a moment keeps it listed until it lets go. A pending delete
// happens once every other handle (a virus scanner, an indexer) is closed,
// and meanwhile the file cannot even be looked at: one still pending after the
// looks is passed over without a word until it goes. A drive that went says
// "not found" too: only a folder that can be listed tells that the file left
// it, or that a delete is still pending there.
JobResult OutputWorker::LookAfterDelete(const platform::FileIdentity& last, bool pending) {
    const std::string folder = FolderOf(m_job.foundFile, m_job.isLeadByte);
    for (int check = 0;; ++check) {
        platform::FileIdentity now;
        const bool seen = m_job.fs->Identify(m_job.foundFile, &now);
        if (seen ? !now.SameVersionAs(last) : m_job.fs->IsMissing(m_job.foundFile) && m_job.fs->CanList(folder)) {
            return JobResult::Sent;
        }
        if (check >= kGoneChecks) {
            if (pending && !seen && m_job.fs->CanList(folder)) {
                m_job.undeletable->RememberGoing(m_job.foundFile, last);
                return JobResult::Sent;
            }
            break;
        }
        m_job.clock->SleepMs(kGoneCheckMs);
    }
    RememberStuck(&last);
    return JobResult::Undeletable;
}

// Remembered as the path holds it now, and only while it still holds the file
// that was sent: a job that took the name meanwhile is a new job. Where the
// path cannot be looked at (a drive that went, a delete pending), the version
// sent is remembered as it is, with its change time, so that neither it is
// printed twice nor a new copy of one template is taken for it; where even
// that is not known (`sent` null), what the folder lists.
void OutputWorker::RememberStuck(const platform::FileIdentity* sent) {
    platform::FileIdentity now;
    if (m_job.fs->Identify(m_job.foundFile, &now)) {
        if (!sent || now.SameVersionAs(*sent)) {
            m_job.undeletable->Remember(m_job.foundFile, now);
        }
        return;
    }
    if (sent) {
        m_job.undeletable->Remember(m_job.foundFile, *sent);
        return;
    }
    platform::DirEntry listed;
    if (m_job.fs->FindFirst(m_job.foundFile, AnyEntry, &listed)) {
        m_job.undeletable->Remember(m_job.foundFile, listed.Identity());
    }
}
