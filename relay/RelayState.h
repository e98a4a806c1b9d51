// The state the relay keeps for one window: the eight settings, the run state,
// the flags shared with the worker thread, the found file and the counters.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

enum RunState : int32_t { Searching = 0, Outputting = 1, Stopped = 2 };

// All strings are byte strings in the system code page.
struct RelayState {
    std::string m_strOutput;
    std::string m_strFooter;
    std::string m_strHeader;
    std::string m_strTarget;
    std::string m_strWaiting;
    std::string m_strFileCount;
    std::string m_strByteCount;
    std::string m_strUptime;
    std::string m_strFolder;
    // Set on a first start, while the section has no search folder yet: the
    // start folder searched meanwhile, which the status line names.
    std::string m_strUnsetFolder;
    int32_t m_bIconic = 0;
    // Set by the interface thread just before a worker starts, cleared by the
    // worker as its very last act.
    std::atomic<int32_t> m_bWorkerRunning{0};
    // Set by the interface thread to ask the worker to stop; polled by the worker.
    std::atomic<int32_t> m_bAbort{0};
    int32_t m_nRunState = Stopped;
    std::string m_strFoundFile;
    std::string m_strProfile;
    int32_t m_nPriority = 3;
    uint32_t m_nFileCount = 0;
    // Written by the worker alone, read by the display refresh; wraps modulo 2^32.
    std::atomic<uint32_t> m_nByteCount{0};
    int64_t m_timeStart = 0;  // seconds since 1970-01-01 UTC
    // The job record: written (1, the default) or not (0), and how many days
    // its day files are kept (0: without limit).
    int32_t m_bRecord = 1;
    uint32_t m_nRecordDays = 90;
};
