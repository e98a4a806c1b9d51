#include "relay/SpoolWatch.h"

namespace {

// Jobs that stay queued for good (a queue paused over the weekend) would
// otherwise be asked about for ever; the newest ones tell the operator enough.
constexpr size_t kMaxFollowed = 32;
// A spooler that cannot be asked for a minute of ticks has most likely lost
// the job with its queue.
constexpr int kMaxUnknownLooks = 30;

}  // namespace

bool IsSpoolTrouble(platform::SpoolJobState state) {
    using platform::SpoolJobState;
    return state == SpoolJobState::Paused || state == SpoolJobState::Error || state == SpoolJobState::Offline ||
           state == SpoolJobState::PaperOut;
}

// Only a document the spooler kept: one that was aborted is not in its queue.
void SpoolWatch::Follow(const JobOutcome& outcome) {
    const bool finished = outcome.result == JobResult::Sent || outcome.result == JobResult::NoHeaderFooter ||
                          outcome.result == JobResult::Undeletable;
    if (!finished || outcome.spooled.jobId == 0) return;
    if (m_jobs.size() == kMaxFollowed) m_jobs.pop_front();
    Followed followed{outcome};
    followed.outcome.spoolState = platform::SpoolJobState::Queued;
    m_jobs.push_back(std::move(followed));
}

// A spooler that cannot be asked says nothing about the job: what it said
// last stands, and it is asked again on the next tick.
std::vector<JobOutcome> SpoolWatch::Look(platform::SpoolQueue& queue, int64_t now) {
    std::vector<JobOutcome> troubles;
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        const platform::SpoolJobState state = queue.Look(it->outcome.spooled.printer, it->outcome.spooled.jobId);
        it->unknownLooks = state == platform::SpoolJobState::Unknown ? it->unknownLooks + 1 : 0;
        if (state == platform::SpoolJobState::Gone || it->unknownLooks > kMaxUnknownLooks) {
            it = m_jobs.erase(it);
            continue;
        }
        if (state != platform::SpoolJobState::Unknown) it->outcome.spoolState = state;
        const uint32_t bit = 1u << static_cast<unsigned>(state);
        if (IsSpoolTrouble(state) && !(it->recordedStates & bit)) {
            it->recordedStates |= bit;
            JobOutcome trouble;
            trouble.result = JobResult::HeldByPrinter;
            trouble.job = it->outcome.job;
            trouble.bytes = it->outcome.bytes;
            trouble.spooled = it->outcome.spooled;
            trouble.spoolState = state;
            trouble.ended = now;
            troubles.push_back(std::move(trouble));
        }
        ++it;
    }
    return troubles;
}

const JobOutcome* SpoolWatch::Trouble() const {
    for (auto it = m_jobs.rbegin(); it != m_jobs.rend(); ++it) {
        if (IsSpoolTrouble(it->outcome.spoolState)) return &it->outcome;
    }
    return nullptr;
}
