#include "relay/JobRecord.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "relay/Counters.h"

const char* const JobRecord::kWaitingFileName = u8"書き込み待ち.csv";

namespace {

int64_t DayOf(const platform::LocalTime& when) {
    return DaysSince1970(when.year, when.month, when.day);
}

std::string ClockTime(const platform::LocalTime& when) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.hour, when.minute, when.second);
    return text;
}

}  // namespace

JobRecord::JobRecord(platform::RecordFiles& files, platform::ToUtf8 toUtf8)
    : m_files(files), m_toUtf8(toUtf8) {}

void JobRecord::KeepIn(std::string folder, bool writeLines, uint32_t keepDays) {
    const bool moved = folder != m_folder;
    m_folder = std::move(folder);
    m_writeLines = writeLines;
    m_keepDays = keepDays;
    std::string earlier;
    if (!moved || m_folder.empty() || !m_writeLines ||
        !m_files.Read(PathOf(kWaitingFileName), &earlier)) {
        return;
    }
    // They come before anything this run has to say.
    std::map<std::string, std::deque<std::string>> lines;
    for (std::string& line : SplitRecordLines(earlier)) {
        const std::string day = DayOfLine(line);
        if (day.empty()) continue;
        lines[day].push_back(std::move(line));
        ++m_waitingCount;
    }
    for (auto& [day, later] : m_waiting) {
        std::deque<std::string>& all = lines[day];
        all.insert(all.end(), later.begin(), later.end());
    }
    m_waiting.swap(lines);
    m_waitingFileHolds = true;
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

void JobRecord::Write(const JobRecordEntry& entry) {
    if (m_folder.empty() || !m_writeLines) return;
    m_now = std::max(m_now, entry.time);
    if (Repeats(entry)) {
        m_streakLast = entry;
        ++m_streakTries;
        return;
    }
    EndStreak();
    m_streakOpen = NothingReachedOutput(entry.result);
    m_streakFirst = m_streakLast = entry;
    m_streakTries = 1;
    Queue(entry.time, FormatRecordLine(Local(entry.time), entry, m_toUtf8));
    Drain();
}

void JobRecord::Retry(int64_t now) {
    m_now = std::max(m_now, now);
    Drain();
}

void JobRecord::Close(int64_t now) {
    m_now = std::max(m_now, now);
    EndStreak();
    Drain();
    SaveWaiting();
}

// Dated at the last try, so the lines of a day file stay in time order; the
// detail says since when and how often.
void JobRecord::EndStreak() {
    const bool closing = m_streakOpen && m_streakTries >= 2;
    m_streakOpen = false;
    if (!closing) return;
    const platform::LocalTime first = Local(m_streakFirst.time);
    const platform::LocalTime last = Local(m_streakLast.time);
    const std::string start =
        DayOf(first) == DayOf(last) ? ClockTime(first) : FormatLocalTime(first);
    const std::string count =
        start + u8" から " + std::to_string(m_streakTries) + u8" 回続きました";
    JobRecordEntry line = m_streakLast;
    line.detail = line.detail.empty() ? count : line.detail + u8"（" + count + u8"）";
    Queue(line.time, FormatRecordLine(last, line, m_toUtf8));
}

void JobRecord::Queue(int64_t time, std::string line) {
    QueueLostLine();
    if (m_waitingCount < kMaxWaitingLines) {
        m_waiting[DayOfLine(line)].push_back(std::move(line));
        ++m_waitingCount;
        return;
    }
    if (m_lost++ == 0) m_lostSince = time;
    m_lostUntil = time;
}

bool JobRecord::QueueLostLine() {
    if (m_lost == 0 || m_waitingCount >= kMaxWaitingLines) return false;
    const platform::LocalTime since = Local(m_lostSince), until = Local(m_lostUntil);
    std::string count, most;
    FormatThousands(count, static_cast<uint32_t>(m_lost));
    FormatThousands(most, static_cast<uint32_t>(kMaxWaitingLines));
    JobRecordEntry entry;
    entry.time = m_lostUntil;
    entry.result = JobResult::LinesLost;
    entry.detail = (DayOf(since) == DayOf(until) ? ClockTime(since) : FormatLocalTime(since)) +
                   u8" からの " + count +
                   u8" 行を記録できませんでした（書き込めない間に保留できる " + most +
                   u8" 行を超えました）";
    std::string line = FormatRecordLine(until, entry, m_toUtf8);
    m_waiting[DayOfLine(line)].push_back(std::move(line));
    ++m_waitingCount;
    m_lost = 0;
    return true;
}

// Each day's lines go to its own file; a day whose file refuses keeps the
// rest of its lines waiting behind the one refused.
void JobRecord::Drain() {
    if (m_folder.empty() || m_waitingCount == 0) return;
    bool any = false;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        std::deque<std::string>& lines = it->second;
        const size_t written = WriteDay(it->first, lines);
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(written));
        m_waitingCount -= written;
        any = any || written > 0;
        it = lines.empty() ? m_waiting.erase(it) : std::next(it);
    }
    if (!any) return;
    if (QueueLostLine()) Drain();
    if (m_waitingFileHolds) SaveWaiting();
}

// The first line alone tells whether the file takes lines now; the rest then
// go in one write.
size_t JobRecord::WriteDay(const std::string& day, const std::deque<std::string>& lines) {
    std::string path = PathOf(DayFileName(day));
    if (m_files.Append(path, RecordFileStart(), lines.front())) {
        m_refusedSince.erase(day);
        m_secondFileDay.clear();
    } else {
        const int64_t since = m_refusedSince.emplace(day, m_now).first->second;
        path = PathOf(SecondDayFileName(day));
        if (m_now - since <= kSecondFileAfterSeconds ||
            !m_files.Append(path, RecordFileStart(), lines.front())) {
            return 0;
        }
        m_secondFileDay = day;
    }
    std::string rest;
    for (size_t k = 1; k < lines.size(); ++k) rest += lines[k];
    return rest.empty() || m_files.Append(path, RecordFileStart(), rest) ? lines.size() : 1;
}

// Written whole each time, so that it never holds a line twice or one that
// has been written meanwhile.
void JobRecord::SaveWaiting() {
    if (m_folder.empty()) return;
    const std::string path = PathOf(kWaitingFileName);
    if (m_waitingCount == 0) {
        m_waitingFileHolds = m_waitingFileHolds && !m_files.Delete(path);
        return;
    }
    std::string text = RecordFileStart();
    for (const auto& day : m_waiting)
        for (const std::string& line : day.second) text += line;
    m_waitingFileHolds = m_files.Replace(path, text) || m_waitingFileHolds;
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
            m_files.Delete(PathOf(name));
        }
    }
}
