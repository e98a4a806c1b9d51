// The output worker: waits until the producer has finished with a found job
// file, then writes header, job and footer to the output and deletes the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "relay/JobOutcome.h"
#include "relay/UndeletableJobs.h"
#include "relay/UnopenableJobs.h"
#include "platform/WakeUp.h"

// Everything one job needs, copied when it starts so that nothing the window
// does to its own members can race with the worker.
struct OutputJob {
    std::string foundFile;
    std::string waiting;
    std::string output;
    std::string header;
    std::string footer;
    std::atomic<int32_t>* workerRunning = nullptr;  // cleared as the very last act
    const std::atomic<int32_t>* abort = nullptr;
    std::atomic<uint32_t>* byteCount = nullptr;
    UndeletableJobs* undeletable = nullptr;
    platform::FileSystem* fs = nullptr;
    platform::Clock* clock = nullptr;
    platform::LeadByteTest isLeadByte = platform::IsLeadByteNone;
    UnopenableJobs* unopenable = nullptr;
    JobOutcomes* outcomes = nullptr;          // what became of the job, when wanted
    std::atomic<int32_t>* phase = nullptr;    // a WorkerPhase, when wanted
    int64_t foundMs = -1;                     // when the search found the job (MonotonicMs)
    // When not empty, the search folder: after the job, the memories of jobs
    // in other folders forget what is gone there, off the interface thread.
    std::string tidyOutside = {};
    // Ends the waits' pauses early when the folder changes, when given.
    platform::WakeUp* wakeUp = nullptr;
    // The search opened the job exclusively a moment ago, with no companion
    // there: the worker does not look again before its own open.
    bool readyWhenFound = false;
    // Called on the worker's thread right after it has cleared its running
    // flag; must not touch the window's objects, which may be gone by then
    // (posting a message to its handle is what it is for).
    std::function<void()> onEnded = {};
};

// The thread function. Takes ownership of a heap-allocated OutputJob.
unsigned OutputThreadProc(void* job);

// The companion path of a found file: its drive, directory and base name
// followed by the suffix.
std::string CompanionPath(const std::string& foundFile, const std::string& suffix,
                          platform::LeadByteTest isLeadByte);

class OutputWorker {
public:
    explicit OutputWorker(const OutputJob& job) : m_job(job) {}
    ~OutputWorker();
    OutputWorker(const OutputWorker&) = delete;
    OutputWorker& operator=(const OutputWorker&) = delete;
    void Run();  // everything but clearing the running flag

private:
    enum class Copy { Complete, ReadFailed, WriteFailed };
    // How a header or footer went: Failed when the output did not take it.
    enum class Part { Appended, Missing, Failed, Skipped };

    bool Aborted() const;
    void Pause();
    void EnterPhase(WorkerPhase phase);
    void Report(JobResult result);
    // False when the worker should end: withdrawn, cancelled or unopenable.
    bool WaitUntilReady();
    bool IsCompanionGone();
    bool FoundFileExists();
    // False when the companion came back once the job was open: nothing was
    // written, and the worker waits again.
    bool CopyToOutput();
    // True when the job reached the output whole (and, for a spooled printer,
    // the printer took the document).
    bool CopyJob(platform::File& output, std::unique_ptr<platform::File>& job);
    Part AppendFileToOutput(const std::string& source, platform::File& output);
    Copy CopyFile(platform::File& input, platform::File& output, uint64_t* bytesSent);
    // The result for the record: sent (and gone, or kept as changed) or stuck.
    JobResult ConsumeJob(std::unique_ptr<platform::File>& job, uint64_t bytesSent);
    // Sent when the file left its path after its delete, Undeletable (and
    // remembered) when it stayed or cannot be told to have gone.
    JobResult LookAfterDelete(const platform::FileIdentity& last, bool pending);
    void RememberStuck(const platform::FileIdentity* sent);

    const OutputJob& m_job;
    JobOutcome m_outcome;
    bool m_readyNow = false;   // the search's look stands for the first wait
    bool m_sizeKnown = false;  // the job's size when it was opened, in m_outcome.bytes
    platform::FileIdentity m_opened;  // the job as it was opened, where m_sizeKnown
    unsigned char m_buffer[256];
};
