#include "relay/OutputWorker.h"

#include <algorithm>
#include <memory>

#include "platform/MbcsText.h"
#include "relay/Search.h"

namespace {

constexpr uint32_t kPollMs = 500;
constexpr int kDeleteRetries = 5;
constexpr uint32_t kDeleteRetryMs = 100;

bool AnyEntry(const platform::DirEntry&) {
    return true;
}

}  // namespace

unsigned OutputThreadProc(void* arg) {
    std::unique_ptr<OutputJob> job(static_cast<OutputJob*>(arg));
    std::atomic<int32_t>* const running = job->workerRunning;
    // Nothing may escape the thread, and the window must see the end whatever happened.
    try {
        OutputWorker(*job).Run();
    } catch (...) {
    }
    job.reset();
    // Last act: once the window sees this, it may start the next job.
    running->store(0, std::memory_order_release);
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

void OutputWorker::Run() {
    while (!IsCompanionGone()) {
        // A job withdrawn by its producer while still being written is not waited for.
        if (Aborted() || !FoundFileExists()) {
            return;
        }
        m_job.clock->SleepMs(kPollMs);
    }
    for (;;) {
        const platform::Probe probe = IsTargetReadable();
        if (probe == platform::Probe::Ready) {
            break;
        }
        if (probe != platform::Probe::Busy) {
            // Waiting would not help, and the search would take the same file
            // first again and hold up every job behind it. A file that is
            // really gone is not listed and so not remembered.
            m_job.unopenable->Remember(*m_job.fs, m_job.foundFile, m_job.clock->NowSeconds());
            return;
        }
        if (Aborted()) {
            return;
        }
        m_job.clock->SleepMs(kPollMs);
    }
    if (Aborted()) {
        return;
    }
    CopyToOutput();
}

bool OutputWorker::IsCompanionGone() {
    platform::DirEntry entry;
    return !m_job.fs->FindFirst(CompanionPath(m_job.foundFile, m_job.waiting, m_job.isLeadByte),
                                AnyEntry, &entry);
}

platform::Probe OutputWorker::IsTargetReadable() {
    return m_job.fs->ProbeExclusive(m_job.foundFile);
}

bool OutputWorker::CopyToOutput() {
    // Opened without sharing and cut at the end, an output that names a file
    // of the copy would keep that file from being read and then destroy it.
    if (NamesAnyOf(*m_job.fs, m_job.output, {m_job.foundFile, m_job.header, m_job.footer})) {
        return false;
    }
    const std::unique_ptr<platform::File> output = m_job.fs->OpenOutput(m_job.output);
    if (!output) {
        return false;
    }
    // A plain-file output ends with this job, not with what an earlier, longer
    // job left; one the job did not reach whole keeps the bytes beyond.
    if (CopyJob(*output)) {
        output->TruncateIfDiskFile();
    }
    return true;
}

bool OutputWorker::CopyJob(platform::File& output) {
    unsigned char buffer[256];
    if (Aborted()) {
        return false;
    }
    if (!m_job.header.empty()) {
        AppendFileToOutput(m_job.header, output, buffer);
    }
    if (Aborted()) {
        return false;
    }
    std::optional<platform::FileIdentity> sent;
    const bool complete = AppendFileToOutput(m_job.foundFile, output, buffer, &sent);
    if (Aborted()) {
        return complete;
    }
    // A job that did not fully reach the output stays, to be sent again whole.
    if (complete) {
        ConsumeJob(sent);
    }
    if (!m_job.footer.empty()) {
        AppendFileToOutput(m_job.footer, output, buffer);
    }
    return complete;
}

bool OutputWorker::AppendFileToOutput(const std::string& source, platform::File& output,
                                      unsigned char (&buffer)[256],
                                      std::optional<platform::FileIdentity>* identity) {
    const std::unique_ptr<platform::File> input = m_job.fs->OpenSource(source);
    if (!input) {
        return false;
    }
    platform::FileIdentity read;
    if (identity && input->Identify(&read)) {
        *identity = read;
    }
    for (;;) {
        uint32_t bytesRead = 0;
        if (!input->Read(buffer, sizeof buffer, &bytesRead)) {
            return false;
        }
        if (bytesRead == 0) {
            return true;
        }
        uint32_t bytesWritten = 0;
        const bool written = output.Write(buffer, bytesRead, &bytesWritten);
        // The worker is the counter's only writer, so a plain store suffices
        // and spares a locked add on every chunk.
        m_job.byteCount->store(m_job.byteCount->load(std::memory_order_relaxed) + bytesWritten,
                               std::memory_order_relaxed);
        if (!written || bytesWritten != bytesRead || Aborted()) {
            return false;
        }
    }
}

bool OutputWorker::Aborted() const {
    return m_job.abort->load(std::memory_order_acquire) != 0;
}

// A failed look (access denied, a network error) is no sign that the job went:
// ending here would count it a second time when the search finds it again.
bool OutputWorker::FoundFileExists() { return !m_job.fs->IsMissing(m_job.foundFile); }

// Deletes the file that was sent, and only that one: a producer may have put
// a new job in its place during the copy (a rename over it), which is kept for
// the next search. A delete is believed only when the file is gone, since some
// file systems report success and leave it; a job that stays is remembered, so
// that the search passes over it until it changes.
void OutputWorker::ConsumeJob(const std::optional<platform::FileIdentity>& sent) {
    if (!sent) {
        DeleteJobFile();  // nothing to tell the sent file by: deleted unchecked
        return;
    }
    if (!IsAtJobPath(*sent)) {
        return;
    }
    if (!DeleteJobFile() || IsAtJobPath(*sent)) {
        m_job.undeletable->Remember(m_job.foundFile, sent->size, sent->lastWrite);
    }
}

bool OutputWorker::IsAtJobPath(const platform::FileIdentity& sent) {
    platform::FileIdentity now;
    return m_job.fs->Identify(m_job.foundFile, &now) && now == sent;
}

// A virus scanner or indexer may hold the file for a moment after the copy.
// A read-only job is consumed as `del /f` would: without the attribute, which
// it gets back when it cannot be deleted even so.
bool OutputWorker::DeleteJobFile() {
    bool readOnlyCleared = false;
    for (int attempt = 0;; ++attempt) {
        if (m_job.fs->Delete(m_job.foundFile)) {
            return true;
        }
        if (attempt == 0 && m_job.fs->ClearReadOnly(m_job.foundFile)) {
            readOnlyCleared = true;
            continue;
        }
        if (attempt >= kDeleteRetries || Aborted()) {
            break;
        }
        m_job.clock->SleepMs(kDeleteRetryMs);
    }
    if (readOnlyCleared) {
        m_job.fs->RestoreReadOnly(m_job.foundFile);
    }
    return false;
}
