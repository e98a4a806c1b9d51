// The record of every job: one CSV file per day in the section's folder,
// written line by line as outcomes arrive. Every try in which something
// reached the output has its own line; a failure in which nothing did, and
// which repeats on every poll, is written when it begins and once more when
// it ends, with the number of tries. Day files older than the days to keep
// are deleted at start-up and after midnight.
//
// No line is dropped for a file that cannot be written (another program may
// hold it, as a spreadsheet does): the line waits, in order behind the
// earlier lines of its day, and is written when its day file takes it again.
// A day file refused for more than a minute gives way to the day's second
// file. Lines still waiting at the end are kept in a file of their own beside
// the day files and taken up by the next start. Writing the record never
// holds back relaying.
//
// Used from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"
#include "relay/RecordLine.h"

class JobRecord {
public:
    // Lines kept while the record cannot be written; further lines are only
    // counted, and the count is written in their place once there is room.
    static constexpr size_t kMaxWaitingLines = 50000;
    // How long a day file may refuse its lines before they go to the day's
    // second file.
    static constexpr int64_t kSecondFileAfterSeconds = 60;
    // The file that keeps the waiting lines from one run to the next.
    static const char* const kWaitingFileName;

    JobRecord(platform::RecordFiles& files, platform::ToUtf8 toUtf8);
    JobRecord(const JobRecord&) = delete;
    JobRecord& operator=(const JobRecord&) = delete;

    // Where the section's day files go (UTF-8), whether lines are written at
    // all, and how many days of files are kept (0: all of them). Until this is
    // called nothing is written or deleted. Takes up the lines an earlier run
    // left waiting in this folder.
    void KeepIn(std::string folder, bool writeLines, uint32_t keepDays);

    // Records one outcome, or counts it when it repeats the failure written
    // last: the same result on the same output, for the same job (or for any
    // job when the output cannot be opened).
    void Write(const JobRecordEntry& entry);
    // Writes what waits, if its files take it now.
    void Retry(int64_t now);
    // As the program exits: ends a repeating failure (its closing line is
    // written if it was tried more than once), writes what it can and keeps
    // the rest in the waiting file.
    void Close(int64_t now);
    // Deletes the day files older than the days to keep. Does something only
    // on its first call and when the local date has changed since the last,
    // so it can be called on every display tick.
    void DeleteOldDays(int64_t now);

    // The lines not yet written, counted ones included.
    size_t Waiting() const { return m_waitingCount + m_lost; }
    // The day ("2026-12-09") whose second file took the last line written,
    // because its day file refused it; empty when the last line went to its
    // day file.
    const std::string& SecondFileDay() const { return m_secondFileDay; }

private:
    bool Repeats(const JobRecordEntry& entry) const;
    // Queues the closing line of an open streak with its count, if it has one.
    void EndStreak();
    void Queue(int64_t time, std::string line);
    // Queues the line that stands for the lines that found no room, if there
    // is room for it now; true when it did.
    bool QueueLostLine();
    void Drain();
    // Writes the waiting lines of one day, in order, and returns how many of
    // them, from the first, were written.
    size_t WriteDay(const std::string& day, const std::deque<std::string>& lines);
    void SaveWaiting();
    std::string PathOf(const std::string& name) const {
        return m_folder + platform::kPathSeparator + name;
    }
    platform::LocalTime Local(int64_t time) const { return m_files.ToLocalTime(time); }

    platform::RecordFiles& m_files;
    platform::ToUtf8 m_toUtf8;
    std::string m_folder;
    bool m_writeLines = false;
    uint32_t m_keepDays = 0;
    int64_t m_lastTidyDay = INT64_MIN;
    int64_t m_now = INT64_MIN;  // the latest time seen

    // The failure written last, while it goes on: its first and latest try.
    bool m_streakOpen = false;
    JobRecordEntry m_streakFirst;
    JobRecordEntry m_streakLast;
    uint32_t m_streakTries = 0;

    // The formatted lines that wait, by day, each day's oldest first.
    std::map<std::string, std::deque<std::string>> m_waiting;
    size_t m_waitingCount = 0;
    size_t m_lost = 0;  // lines that found no room, and their times
    int64_t m_lostSince = 0;
    int64_t m_lostUntil = 0;
    std::map<std::string, int64_t> m_refusedSince;  // day -> since when its day file refuses
    std::string m_secondFileDay;
    bool m_waitingFileHolds = false;  // the waiting file holds lines of m_waiting
};
