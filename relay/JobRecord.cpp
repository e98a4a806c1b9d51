#include "relay/JobRecord.h"

#include <cstdio>
#include <utility>

namespace {

int64_t DayOf(const platform::LocalTime& when) {
    return DaysSince1970(when.year, when.month, when.day);
}

}  // namespace

JobRecord::JobRecord(platform::RecordFiles& files, platform::ToUtf8 toUtf8)
    : m_files(files), m_toUtf8(toUtf8) {}

void JobRecord::KeepIn(std::string folder, bool writeLines, uint32_t keepDays) {
    m_folder = std::move(folder);
    m_writeLines = writeLines;
    m_keepDays = keepDays;
}

bool JobRecord::Repeats(const JobRecordEntry& entry) const {
    // The spooler's troubles come once each, already.
    if (!m_streakOpen || entry.result != m_streakFirst.result || entry.result == JobResult::HeldByPrinter ||
        entry.output != m_streakFirst.output) {
        return false;
    }
    // An output that cannot be opened fails for whichever job tries it.
    return entry.job == m_streakFirst.job || entry.result == JobResult::OutputUnopenable;
}

bool JobRecord::Write(const JobRecordEntry& entry) {
    if (m_folder.empty() || !m_writeLines) return true;
    if (Repeats(entry)) {
        m_streakLast = entry;
        ++m_streakTries;
        return true;
    }
    const bool closed = Flush();
    m_streakOpen = entry.result != JobResult::Sent;
    m_streakFirst = m_streakLast = entry;
    m_streakTries = 1;
    const bool written =
        AppendLine(entry.time, FormatRecordLine(Local(entry.time), entry, m_toUtf8));
    return closed && written;
}

bool JobRecord::Flush() {
    const std::string closing = ClosingLine();
    m_streakOpen = false;
    return closing.empty() || AppendLine(m_streakLast.time, closing);
}

// Dated at the last try, so the lines of a day file stay in time order; the
// detail says since when and how often.
std::string JobRecord::ClosingLine() const {
    if (!m_streakOpen || m_streakTries < 2) return {};
    const platform::LocalTime first = Local(m_streakFirst.time);
    const platform::LocalTime last = Local(m_streakLast.time);
    char since[64];
    std::snprintf(since, sizeof since, "%02d:%02d:%02d", first.hour, first.minute, first.second);
    const std::string start = DayOf(first) == DayOf(last) ? since : FormatLocalTime(first);
    const std::string count =
        start + u8" から " + std::to_string(m_streakTries) + u8" 回続きました";
    JobRecordEntry closing = m_streakLast;
    closing.detail = closing.detail.empty() ? count : closing.detail + u8"（" + count + u8"）";
    return FormatRecordLine(last, closing, m_toUtf8);
}

bool JobRecord::AppendLine(int64_t time, const std::string& line) {
    const std::string path = m_folder + platform::kPathSeparator + DayFileName(Local(time));
    return m_files.Append(path, RecordFileStart(), line);
}

// Ages are counted in calendar days, so a file of yesterday is one day old
// however late it was written.
void JobRecord::DeleteOldDays(int64_t now) {
    if (m_folder.empty()) return;
    const int64_t today = DayOf(Local(now));
    if (today == m_lastTidyDay) return;
    m_lastTidyDay = today;
    if (m_keepDays == 0) return;
    for (const std::string& name : m_files.ListFiles(m_folder)) {
        int64_t day = 0;
        if (ParseDayFileName(name, &day) && today - day > static_cast<int64_t>(m_keepDays)) {
            m_files.Delete(m_folder + platform::kPathSeparator + name);
        }
    }
}
