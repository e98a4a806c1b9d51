// What became of one try of a job, handed from the worker to the interface
// thread, which shows it and writes it to the record.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/PrintSpooler.h"
#include "relay/RecordLine.h"

struct JobOutcome {
    JobResult result = JobResult::Sent;
    std::string job;
    uint64_t bytes = 0;  // the size of the job file as it was read
    platform::OpenFailure outputFailure = platform::OpenFailure::None;
    bool outputRefused = false;  // the output names the job, header or footer
    bool headerMissing = false;
    bool footerMissing = false;
    // Opened but not taken whole by the output.
    bool headerFailed = false;
    bool footerFailed = false;
    platform::SpoolTicket spooled;  // where the spooler took the document, if it did
    // For a job the spooler holds after it was sent: what the spooler says.
    platform::SpoolJobState spoolState = platform::SpoolJobState::Queued;
    bool keptChanged = false;  // sent whole, but kept: it changed meanwhile
    // What the job's path led to when it could not be taken as a job.
    platform::FileKind unopenableKind = platform::FileKind::DiskFile;
    // A file whose listed name does not reach it (a name the code page cannot
    // spell, a device's name): `jobUtf8` holds its real name.
    bool nameUnusable = false;
    std::string jobUtf8;
    int64_t ended = 0;         // seconds since 1970 (UTC)
    // Monotonic milliseconds (Clock::MonotonicMs): when the search found the
    // job, when the output began to be opened, and when the try ended; -1
    // where the try never got there.
    int64_t foundMs = -1;
    int64_t openingMs = -1;
    int64_t endedMs = -1;
};

// Where the worker is with its job, for what the window shows while it runs.
// Copying is a write to the output under way, Reading a read of a file.
enum class WorkerPhase : int32_t { Idle, WaitingForCompanion, WaitingForProducer, Copying, Reading };

// Outcomes in the order the worker reported them; the worker adds, the
// interface thread takes them all.
class JobOutcomes {
public:
    void Add(JobOutcome outcome) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outcomes.push_back(std::move(outcome));
    }
    std::vector<JobOutcome> TakeAll() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<JobOutcome> taken;
        taken.swap(m_outcomes);
        return taken;
    }

private:
    std::mutex m_mutex;
    std::vector<JobOutcome> m_outcomes;
};
