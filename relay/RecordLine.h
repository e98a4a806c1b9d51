// The text of the job record: one CSV line per outcome of a job, the file's
// header, and the names of its day files. All of it UTF-8, so that
// spreadsheet programs and Notepad read it the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"

// What became of one try of a job, as the record's result column names it.
enum class JobResult {
    Sent,              // the job reached the output whole and is gone
    OutputUnopenable,  // the output could not be opened; the job stays
    WriteFailed,       // the output failed part-way; the job is sent again
    Cancelled,         // the user cancelled the output; the job is sent again
    Undeletable,       // sent once, then passed over: it cannot be deleted
    Unopenable,        // the job itself cannot be opened; tried again later
    NoHeaderFooter,    // sent without the header or footer that could not be opened
    LinesLost,         // the record's own line: lines that could not be kept
    HeldByPrinter,     // sent, but the spooler holds it: out of paper, offline, ...
};

// The result column's words (UTF-8).
const char* JobResultText(JobResult result);

// True for the tries in which nothing reached the output, the only ones a
// record may count instead of writing each.
bool NothingReachedOutput(JobResult result);

struct JobRecordEntry {
    int64_t time = 0;    // when the try ended, seconds since 1970 (UTC)
    std::string job;     // the job's full path, in the ANSI code page
    std::string jobUtf8;  // when not empty, the real path where the code page cannot spell it
    uint64_t bytes = 0;  // the size of the job file
    std::string output;  // the output as set, in the ANSI code page
    JobResult result = JobResult::Sent;
    std::string detail;  // UTF-8, may be empty
    // From opening the output to the end of the try, and from the moment the
    // search found the job to opening the output; -1 (an empty cell) for a try
    // that never came to the output.
    int64_t milliseconds = -1;
    int64_t waitMilliseconds = -1;
};

// The first bytes of a new day file: the byte-order mark and the header row.
std::string RecordFileStart();

// One line with its CRLF. Job and output go through `toUtf8`; the detail is
// UTF-8 already.
std::string FormatRecordLine(const platform::LocalTime& when, const JobRecordEntry& entry,
                             platform::ToUtf8 toUtf8);

// A field as CSV wants it: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line break.
std::string CsvField(const std::string& text);

// A text cell that a spreadsheet would read as a formula (it begins with
// "=", "+", "-", "@", a tab or a carriage return) with a leading "'", so that
// it is shown as the text it is; any other text unchanged.
std::string SpreadsheetText(const std::string& text);

// The lines of record text (each with its CRLF), a line break inside a quoted
// field kept within its line; the byte-order mark and header row, and a last
// line without its CRLF, left out.
std::vector<std::string> SplitRecordLines(const std::string& text);

// "2026-12-09 12:03:15"
std::string FormatLocalTime(const platform::LocalTime& when);

// The day a record line belongs to, its first field's date ("2026-12-09");
// empty for text that does not begin with one.
std::string DayOfLine(const std::string& line);

// The day's file, "2026-12-09.csv", and its second file, "2026-12-09-2.csv",
// which takes the day's lines while the first cannot be written.
std::string DayFileName(const std::string& day);
std::string SecondDayFileName(const std::string& day);

// The day of a day file's name, or of a second file's, counted from
// 1970-01-01; false for any other name.
bool ParseDayFileName(const std::string& name, int64_t* day);

// Days from 1970-01-01 to the given calendar date (negative before it).
int64_t DaysSince1970(int year, int month, int day);
