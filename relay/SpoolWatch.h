// The print jobs the spooler accepted, followed until they leave its queue:
// a job "sent" to a printer out of paper has not been printed, and the
// operator who asks needs the spooler's answer.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/PrintSpooler.h"
#include "relay/JobOutcome.h"

class SpoolWatch {
public:
    // Follows the job of an outcome whose document the spooler accepted.
    void Follow(const JobOutcome& outcome);
    // Asks the spooler about every followed job and lets go of those it no
    // longer holds. A trouble seen for the first time for its job comes back
    // as an outcome for the record, dated `now`.
    std::vector<JobOutcome> Look(platform::SpoolQueue& queue, int64_t now);
    // The newest followed job the spooler holds in trouble; null when none.
    const JobOutcome* Trouble() const;

private:
    struct Followed {
        JobOutcome outcome;         // spoolState: what the spooler said last
        uint32_t recordedStates = 0;  // one bit per SpoolJobState recorded
        int unknownLooks = 0;         // in a row
    };
    std::deque<Followed> m_jobs;
};

// True for the states in which the spooler holds a job it will not print.
bool IsSpoolTrouble(platform::SpoolJobState state);
