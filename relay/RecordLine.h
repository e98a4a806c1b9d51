// The text of the job record: one CSV line per outcome of a job, the file's
// header, and the names of the section's folder and of its day files. All of
// it UTF-8, so that spreadsheet programs and Notepad read it the same way.
#pragma once

#include <cstdint>
#include <string>

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
    HeldByPrinter,     // sent, but the spooler holds it: out of paper, offline, ...
};

// The result column's words (UTF-8).
const char* JobResultText(JobResult result);

struct JobRecordEntry {
    int64_t time = 0;    // when the try ended, seconds since 1970 (UTC)
    std::string job;     // the job's full path, in the ANSI code page
    uint64_t bytes = 0;  // the size of the job file
    std::string output;  // the output as set, in the ANSI code page
    JobResult result = JobResult::Sent;
    std::string detail;         // UTF-8, may be empty
    uint32_t milliseconds = 0;  // how long the try took
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

// "2026-12-09 12:03:15"
std::string FormatLocalTime(const platform::LocalTime& when);

// The name of the day's file: "2026-12-09.csv".
std::string DayFileName(const platform::LocalTime& when);

// The day of a day file's name counted from 1970-01-01; false for any other name.
bool ParseDayFileName(const std::string& name, int64_t* day);

// Days from 1970-01-01 to the given calendar date (negative before it).
int64_t DaysSince1970(int year, int month, int day);

// Makes a section name (UTF-8) usable as a folder name: characters a Windows
// file name cannot hold, trailing blanks and full stops become "_", and a
// device name such as "LPT1" gets one appended.
std::string SafeFileName(const std::string& name);

// <root>\<section>: the folder of the section's day files.
std::string RecordFolder(const std::string& root, const std::string& sectionUtf8);
