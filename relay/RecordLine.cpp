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
    u8"プリンターで停止",
};

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kHeaderRow[] = u8"日時,ジョブ,サイズ（バイト）,出力先,結果,詳細,所要時間（秒）\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Number(const std::string& text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) value = value * 10 + (text[i] - '0');
    return value;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever extension
// follows, and Windows strips trailing blanks before it looks.
bool IsDeviceName(std::string base) {
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices)
        if (EqualsIgnoringCase(base, device)) return true;
    return base.size() == 4 &&
           (EqualsIgnoringCase(base.substr(0, 3), "COM") ||
            EqualsIgnoringCase(base.substr(0, 3), "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

// Seconds with one decimal, rounded: 1250 ms is "1.3".
std::string FormatSeconds(uint32_t milliseconds) {
    const uint64_t tenths = (static_cast<uint64_t>(milliseconds) + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

}  // namespace

const char* JobResultText(JobResult result) {
    const size_t index = static_cast<size_t>(result);
    return index < sizeof kResultTexts / sizeof kResultTexts[0] ? kResultTexts[index] : "";
}

std::string RecordFileStart() { return std::string(kByteOrderMark) + kHeaderRow; }

std::string FormatRecordLine(const platform::LocalTime& when, const JobRecordEntry& entry,
                             platform::ToUtf8 toUtf8) {
    std::string line = CsvField(FormatLocalTime(when));
    line += ',' + CsvField(toUtf8(entry.job));
    line += ',' + std::to_string(entry.bytes);
    line += ',' + CsvField(toUtf8(entry.output));
    line += ',' + CsvField(JobResultText(entry.result));
    line += ',' + CsvField(entry.detail);
    line += ',' + FormatSeconds(entry.milliseconds);
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

std::string FormatLocalTime(const platform::LocalTime& when) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                  when.day, when.hour, when.minute, when.second);
    return text;
}

std::string DayFileName(const platform::LocalTime& when) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d.csv", when.year, when.month, when.day);
    return text;
}

bool ParseDayFileName(const std::string& name, int64_t* day) {
    static const char kShape[] = "dddd-dd-dd.csv";
    if (name.size() != sizeof kShape - 1) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool fits = kShape[i] == 'd' ? IsDigit(name[i]) : Lower(name[i]) == kShape[i];
        if (!fits) return false;
    }
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

std::string SafeFileName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr)
            c = '_';
    }
    for (size_t i = safe.size(); i > 0 && (safe[i - 1] == ' ' || safe[i - 1] == '.'); --i) {
        safe[i - 1] = '_';
    }
    if (safe.empty()) return "_";
    const size_t baseEnd = safe.find('.') == std::string::npos ? safe.size() : safe.find('.');
    if (IsDeviceName(safe.substr(0, baseEnd))) safe.insert(baseEnd, "_");
    return safe;
}

std::string RecordFolder(const std::string& root, const std::string& sectionUtf8) {
    return root + platform::kPathSeparator + SafeFileName(sectionUtf8);
}
