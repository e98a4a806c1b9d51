#include "relay/RecordLine.h"

#include <cstdio>
#include <cstring>

namespace {

// The words follow the window's own: what it does to a job is "出力".
const char* const kResultTexts[] = {
    u8"出力済み",
    u8"出力先を開けない",
    u8"書き込み失敗（再出力）",
    u8"出力中止（再出力）",
    u8"削除できない（1 回だけ出力）",
    u8"開けない（後回し）",
    u8"ヘッダー／フッターなし",
    u8"記録の欠落",
    u8"プリンターで停止",
};

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kHeaderRow[] =
    u8"日時,ジョブ,サイズ（バイト）,出力先,結果,詳細,所要時間（秒）,待ち時間（秒）\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Number(const std::string& text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Text shaped as `shape`, where "d" stands for a digit and letters match in
// either case.
bool HasShape(const std::string& text, const char* shape) {
    if (text.size() != std::strlen(shape)) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool fits = shape[i] == 'd' ? IsDigit(text[i]) : Lower(text[i]) == shape[i];
        if (!fits) return false;
    }
    return true;
}

// Seconds to the millisecond, "1.250"; an empty cell for a time not taken.
std::string FormatSeconds(int64_t milliseconds) {
    if (milliseconds < 0) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03d", static_cast<long long>(milliseconds / 1000),
                  static_cast<int>(milliseconds % 1000));
    return text;
}

std::string TextCell(const std::string& text) { return CsvField(SpreadsheetText(text)); }

}  // namespace

const char* JobResultText(JobResult result) {
    const size_t index = static_cast<size_t>(result);
    return index < sizeof kResultTexts / sizeof kResultTexts[0] ? kResultTexts[index] : "";
}

bool NothingReachedOutput(JobResult result) {
    return result == JobResult::OutputUnopenable || result == JobResult::Unopenable;
}

std::string RecordFileStart() { return std::string(kByteOrderMark) + kHeaderRow; }

std::string FormatRecordLine(const platform::LocalTime& when, const JobRecordEntry& entry,
                             platform::ToUtf8 toUtf8) {
    std::string line = CsvField(FormatLocalTime(when));
    line += ',' + TextCell(entry.jobUtf8.empty() ? toUtf8(entry.job) : entry.jobUtf8);
    line += ',' + std::to_string(entry.bytes);
    line += ',' + TextCell(toUtf8(entry.output));
    line += ',' + TextCell(JobResultText(entry.result));
    line += ',' + TextCell(entry.detail);
    line += ',' + FormatSeconds(entry.milliseconds);
    line += ',' + FormatSeconds(entry.waitMilliseconds);
    return line + "\r\n";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// Japanese spreadsheets also take the full-width signs typed first in a cell
// as the start of a formula.
std::string SpreadsheetText(const std::string& text) {
    static const char* const kFormulaStarts[] = {"=",  "+",    "-",    "@",    "\t",
                                                 "\r", u8"＝", u8"＋", u8"－", u8"＠"};
    for (const char* start : kFormulaStarts) {
        if (text.compare(0, std::strlen(start), start) == 0) return "'" + text;
    }
    return text;
}

std::vector<std::string> SplitRecordLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = text.compare(0, RecordFileStart().size(), RecordFileStart()) == 0
                       ? RecordFileStart().size()
                       : 0;
    bool quoted = false;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && text[i] == '\n' && i > start && text[i - 1] == '\r') {
            lines.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    return lines;
}

std::string FormatLocalTime(const platform::LocalTime& when) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
    return text;
}

std::string DayOfLine(const std::string& line) {
    const std::string day = line.substr(0, 10);
    return HasShape(day, "dddd-dd-dd") ? day : std::string();
}

std::string DayFileName(const std::string& day) { return day + ".csv"; }

std::string SecondDayFileName(const std::string& day) { return day + "-2.csv"; }

bool ParseDayFileName(const std::string& name, int64_t* day) {
    if (!HasShape(name, "dddd-dd-dd.csv") && !HasShape(name, "dddd-dd-dd-2.csv")) return false;
    const int month = Number(name, 5, 2);
    const int dayOfMonth = Number(name, 8, 2);
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) return false;
    *day = DaysSince1970(Number(name, 0, 4), month, dayOfMonth);
    return true;
}

// The proleptic Gregorian calendar, counted in 400-year eras from 1 March of
// year 0, so that the leap day ends each counted year.
int64_t DaysSince1970(int year, int month, int day) {
    const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}
