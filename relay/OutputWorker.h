// The output worker: waits until the producer has finished with a found job
// file, then writes header, job and footer to the output and deletes the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Platform.h"
#include "relay/UndeletableJobs.h"
#include "relay/UnopenableJobs.h"

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
    void Run();  // everything but clearing the running flag

    bool IsCompanionGone();
    platform::Probe IsTargetReadable();
    bool CopyToOutput();
    // Returns true when the whole source reached the output.
    bool AppendFileToOutput(const std::string& source, platform::File& output,
                            unsigned char (&buffer)[256]);

private:
    bool Aborted() const;
    bool FoundFileExists();
    bool CopyJob(platform::File& output);  // true when the job reached the output whole
    bool DeleteJobFile();
    const OutputJob& m_job;
};
