// The record of every job: one CSV file per day in the section's folder,
// written line by line as outcomes arrive. A failure that repeats on every
// poll is written when it begins and once more when it ends, with the number
// of tries, instead of a line every few seconds. Day files older than the
// days to keep are deleted at start-up and after midnight.
//
// Writing the record never holds back relaying: a line that cannot be written
// is lost and reported by the result of Write.
//
// Used from one thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"
#include "relay/RecordLine.h"

class JobRecord {
public:
    JobRecord(platform::RecordFiles& files, platform::ToUtf8 toUtf8);
    JobRecord(const JobRecord&) = delete;
    JobRecord& operator=(const JobRecord&) = delete;

    // Where the section's day files go (UTF-8, see RecordFolder), whether
    // lines are written at all, and how many days of files are kept (0: all
    // of them). Until this is called nothing is written or deleted.
    void KeepIn(std::string folder, bool writeLines, uint32_t keepDays);

    // Records one outcome, or counts it when it repeats the failure written
    // last: the same result on the same output, for the same job (or for any
    // job when the output cannot be opened). False only when a line that had
    // to be written could not be.
    bool Write(const JobRecordEntry& entry);
    // Ends a repeating failure now, e.g. as the program exits: its closing
    // line is written if it was tried more than once.
    bool Flush();
    // Deletes the day files older than the days to keep. Does something only
    // on its first call and when the local date has changed since the last,
    // so it can be called on every display tick.
    void DeleteOldDays(int64_t now);

private:
    bool Repeats(const JobRecordEntry& entry) const;
    // The streak's closing line with its count, empty when it has none.
    std::string ClosingLine() const;
    bool AppendLine(int64_t time, const std::string& line);
    platform::LocalTime Local(int64_t time) const { return m_files.ToLocalTime(time); }

    platform::RecordFiles& m_files;
    platform::ToUtf8 m_toUtf8;
    std::string m_folder;
    bool m_writeLines = false;
    uint32_t m_keepDays = 0;
    int64_t m_lastTidyDay = INT64_MIN;

    // The failure written last, while it goes on: its first and latest try.
    bool m_streakOpen = false;
    JobRecordEntry m_streakFirst;
    JobRecordEntry m_streakLast;
    uint32_t m_streakTries = 0;
};
