// What the job record needs of the system: appending to its day files,
// keeping the lines that wait, finding and deleting old files, and the local
// calendar. Paths are UTF-8 (the record's folder may hold any character); the
// Win32 twin uses the wide API, the POSIX twin serves native builds and tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// A calendar date and wall-clock time in the user's time zone.
struct LocalTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

class RecordFiles {
public:
    virtual ~RecordFiles() = default;
    // Creates the folder and every missing folder above it; true when it
    // exists afterwards.
    virtual bool CreateFolder(const std::string& path) = 0;
    // Appends `bytes` to the file, creating it and its folders as needed.
    // `startIfEmpty` goes first when the file is new or empty. True only when
    // everything was written; other programs may read the file meanwhile.
    virtual bool Append(const std::string& path, const std::string& startIfEmpty,
                        const std::string& bytes) = 0;
    // Puts `bytes` in place of the file's content, creating it and its
    // folders as needed; the file holds either its old or its new content
    // whatever happens meanwhile.
    virtual bool Replace(const std::string& path, const std::string& bytes) = 0;
    // The whole file; false when it cannot be read.
    virtual bool Read(const std::string& path, std::string* bytes) = 0;
    // The bare names of the plain files in the folder; empty when there are
    // none or the folder cannot be read.
    virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
    virtual bool Delete(const std::string& path) = 0;
    virtual LocalTime ToLocalTime(int64_t secondsSince1970) = 0;
};

RecordFiles& SystemRecordFiles();

// Where the records of every section are kept: on Windows
// %LOCALAPPDATA%\Brenholt\Varnow\Records. Empty when it cannot be told.
std::string RecordsRoot();

}  // namespace platform
