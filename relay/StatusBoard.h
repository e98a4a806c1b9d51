// What the window's status line and the tray icon tell: the trouble that
// stands now, since when and how often, or else the last job relayed. Fed by
// the worker's outcomes and by what the interface thread sees on each tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"
#include "relay/JobOutcome.h"

// What is seen on one tick, besides the outcomes. Paths and names in the
// ANSI code page, except where UTF-8 is said.
struct StatusObservation {
    std::string output;
    std::string header;
    std::string footer;
    bool folderUnreachable = false;
    std::string folder;
    int64_t stalledSeconds = 0;    // no byte taken by the output for this long
    int64_t readStalledSeconds = 0;  // no byte read from the job's files for this long
    int64_t busySeconds = 0;         // another program has held the running job this long
    int64_t companionSeconds = 0;  // the companion of the running job has stayed this long
    std::string job;               // the running job
    std::string companion;
    std::size_t stuckJobs = 0;  // remembered as undeletable and still there
    std::string stuckJob;       // the newest of them
    std::size_t strays = 0;     // files passed over because they cannot be opened
    std::string strayNameUtf8;  // one of them
    bool stopped = false;       // searching is stopped
    std::string waiting;        // the companion's suffix as set
    WorkerPhase phase = WorkerPhase::Idle;  // where the running job is
    // On a first start, before the search folder was ever set: the start
    // folder that is searched meanwhile.
    std::string unsetFolder;
    // A header or footer left out is there again.
    bool headerBack = false;
    bool footerBack = false;
    std::size_t recordWaiting = 0;  // lines of the record not yet written
    std::string recordSecondDay;    // the day whose second file takes its lines
    // 出力先 as typed holds characters the ANSI code page cannot spell.
    bool outputUnrepresentable = false;
    // A job the spooler accepted and now holds in trouble (heldState says why).
    std::string heldJob;
    std::string heldPrinterUtf8;
    platform::SpoolJobState heldState = platform::SpoolJobState::Queued;
};

class StatusBoard {
public:
    explicit StatusBoard(platform::ToUtf8 toUtf8) : m_toUtf8(toUtf8) {}
    void ConvertWith(platform::ToUtf8 toUtf8) { m_toUtf8 = toUtf8; }

    void Outcome(const JobOutcome& outcome, const platform::LocalTime& ended);
    void Observe(const StatusObservation& now);
    // The output could not be opened, and nobody has seen it open since.
    bool OutputTroubleStands() const { return m_outputFailures > 0; }
    // The output opened again (tried without a job): its trouble is over.
    void OutputOpens();
    bool HeaderMissing() const { return m_headerMissing; }
    bool FooterMissing() const { return m_footerMissing; }

    // The status line (UTF-8): the most pressing trouble, or the last job sent.
    std::string StatusLine() const;
    bool HasTrouble() const { return !TroubleShort().empty(); }
    // The trouble in a few words for the tray's tooltip; empty when there is none.
    std::string TroubleShort() const;

private:
    std::string Name(const std::string& path) const;  // the file name, UTF-8
    std::string Trouble() const;                       // empty when none stands
    std::string JobAtHand() const;                     // empty when none runs

    platform::ToUtf8 m_toUtf8;
    StatusObservation m_now;
    // The output could not be opened: since when, how often, and why.
    std::size_t m_outputFailures = 0;
    platform::LocalTime m_outputFailingSince;
    platform::OpenFailure m_outputFailure = platform::OpenFailure::None;
    bool m_outputRefused = false;
    // The output opened but did not take the job (a write that failed, a
    // spooler that refused the document), since when and how often.
    std::size_t m_writeFailures = 0;
    platform::LocalTime m_writeFailingSince;
    // A header or footer left out of the last job.
    bool m_headerMissing = false;
    bool m_footerMissing = false;
    // A footer the output did not take after the job (a port prints as it goes).
    bool m_footerFailed = false;
    std::string m_footerFailedJob;
    std::string m_lastSent;
};

// Where a status line too long for one line is best broken: the byte offset
// of the second line's start in `utf8`, at the last place Japanese allows a
// break (after 、。）」 or a blank that follows no digit, before （「) whose
// first line `fits`; 0 when
// the whole line fits or no such place does.
size_t SecondLineStart(const std::string& utf8, const std::function<bool(const std::string& line)>& fits);

// Why an output could not be opened, in words.
const char* OpenFailureText(platform::OpenFailure failure);

// "プリンター X は用紙切れです" for a printer (UTF-8) in a spool trouble.
std::string PrinterTroubleText(const std::string& printerUtf8, platform::SpoolJobState state);
