#include "relay/StatusBoard.h"

#include <cstdio>

#include "relay/Counters.h"
#include "relay/SpoolWatch.h"

namespace {

std::string Clock(const platform::LocalTime& when, bool seconds) {
    char text[16];
    if (seconds) {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.hour, when.minute, when.second);
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d", when.hour, when.minute);
    }
    return text;
}

std::string Count(std::size_t value) {
    std::string text;
    FormatThousands(text, static_cast<uint32_t>(value));
    return text;
}

std::string Others(std::size_t count) {
    return count > 1 ? u8" ほか " + Count(count - 1) + u8" 件" : std::string();
}

const char* SpoolTroubleText(platform::SpoolJobState state) {
    switch (state) {
        case platform::SpoolJobState::PaperOut: return u8"用紙切れです";
        case platform::SpoolJobState::Offline: return u8"オフラインです";
        case platform::SpoolJobState::Paused: return u8"一時停止中です";
        default: return u8"エラー状態です";
    }
}

}  // namespace

size_t SecondLineStart(const std::string& utf8, const std::function<bool(const std::string& line)>& fits) {
    if (fits(utf8)) {
        return 0;
    }
    static const char* const kBreakAfter[] = {u8"、", u8"。", u8"）", u8"」", " "};
    static const char* const kBreakBefore[] = {u8"（", u8"「"};
    size_t best = 0;
    for (size_t pos = 1; pos < utf8.size(); ++pos) {
        if ((static_cast<unsigned char>(utf8[pos]) & 0xC0) == 0x80) {
            continue;  // inside a character
        }
        bool allowed = false;
        for (const char* mark : kBreakAfter) {
            const size_t length = std::char_traits<char>::length(mark);
            allowed = allowed || (pos >= length && utf8.compare(pos - length, length, mark) == 0);
        }
        for (const char* mark : kBreakBefore) {
            allowed = allowed || utf8.compare(pos, std::char_traits<char>::length(mark), mark) == 0;
        }
        // A number keeps the counter after its blank: 「1 回」, 「1,234 バイト」.
        if (allowed && utf8[pos - 1] == ' ' && pos >= 2 && utf8[pos - 2] >= '0' && utf8[pos - 2] <= '9') {
            allowed = false;
        }
        if (allowed && fits(utf8.substr(0, pos))) {
            best = pos;
        }
    }
    return best;
}

const char* OpenFailureText(platform::OpenFailure failure) {
    switch (failure) {
        case platform::OpenFailure::NotFound:
            return u8"見つかりません";
        case platform::OpenFailure::Busy:
            return u8"使用中です";
        case platform::OpenFailure::AccessDenied:
            return u8"アクセスが拒否されました";
        case platform::OpenFailure::SpoolerUnavailable:
            return u8"印刷スプーラーが応答しません";
        case platform::OpenFailure::None:
        case platform::OpenFailure::Other:
            break;
    }
    return "";
}

std::string PrinterTroubleText(const std::string& printerUtf8, platform::SpoolJobState state) {
    return u8"プリンター " + printerUtf8 + u8" は" + SpoolTroubleText(state);
}

void StatusBoard::Outcome(const JobOutcome& outcome, const platform::LocalTime& ended) {
    if (outcome.result == JobResult::OutputUnopenable) {
        if (m_outputFailures++ == 0) {
            m_outputFailingSince = ended;
        }
        m_outputFailure = outcome.outputFailure;
        m_outputRefused = outcome.outputRefused;
        return;
    }
    if (outcome.result == JobResult::Unopenable || outcome.result == JobResult::Cancelled ||
        outcome.result == JobResult::HeldByPrinter) {
        return;  // says nothing about opening the output; the spooler's answer is observed
    }
    m_outputFailures = 0;
    if (outcome.result == JobResult::WriteFailed) {
        if (m_writeFailures++ == 0) {
            m_writeFailingSince = ended;
        }
        return;
    }
    m_writeFailures = 0;
    m_headerMissing = outcome.headerMissing;
    m_footerMissing = outcome.footerMissing;
    m_footerFailed = outcome.footerFailed;
    m_footerFailedJob = outcome.job;
    std::string bytes;
    FormatThousands(bytes, static_cast<uint32_t>(outcome.bytes));
    // The data type is told only where it is not the usual RAW.
    const std::string& type = outcome.spooled.dataType;
    m_lastSent = Clock(ended, true) + u8"  " + Name(outcome.job) + u8" を出力しました（" + bytes +
                 u8" バイト" + (type.empty() || type == "RAW" ? "" : u8"、" + type) + u8"）";
}

void StatusBoard::Observe(const StatusObservation& now) {
    m_now = now;
    m_headerMissing = m_headerMissing && !now.headerBack;
    m_footerMissing = m_footerMissing && !now.footerBack;
}

void StatusBoard::OutputOpens() {
    m_outputFailures = 0;
    m_outputRefused = false;
}

// What stands now: a trouble, else the job at hand, else (on a first start)
// the folder searched for want of a setting, else the last job sent. While
// stopped the line says so, and still shows a trouble that stands.
std::string StatusBoard::StatusLine() const {
    const std::string trouble = Trouble();
    if (m_now.stopped) {
        return trouble.empty() ? std::string(u8"停止中") : u8"停止中。" + trouble;
    }
    if (!trouble.empty()) {
        return trouble;
    }
    const std::string job = JobAtHand();
    if (!job.empty()) {
        return job;
    }
    if (!m_now.unsetFolder.empty()) {
        return u8"検索位置が設定されていません。起動したフォルダー " + m_toUtf8(m_now.unsetFolder) +
               u8" を探しています";
    }
    return m_lastSent;
}

std::string StatusBoard::JobAtHand() const {
    if (m_now.job.empty()) {
        return std::string();
    }
    switch (m_now.phase) {
    case WorkerPhase::WaitingForCompanion:
        return Name(m_now.job) + u8" の完了を待っています（" + Name(m_now.companion) + u8"）";
    case WorkerPhase::WaitingForProducer:
        return Name(m_now.job) + u8" の完了を待っています";
    case WorkerPhase::Copying:
    case WorkerPhase::Reading:
        return Name(m_now.job) + u8" を出力しています";
    case WorkerPhase::Idle:
        break;
    }
    return std::string();
}

std::string StatusBoard::Trouble() const {
    if (m_now.outputUnrepresentable) {
        return u8"出力先の名前にこの PC の文字コードで表せない文字があります";
    }
    if (m_now.folderUnreachable) {
        return u8"検索位置 " + m_toUtf8(m_now.folder) + u8" を開けません";
    }
    if (m_outputFailures > 0 && m_outputRefused) {
        return u8"出力先が出力するファイル（ジョブ、ヘッダー、フッター）と同じです";
    }
    if (m_outputFailures > 0) {
        const std::string reason = OpenFailureText(m_outputFailure);
        return u8"出力先 " + m_toUtf8(m_now.output) + u8" を開けません（" +
               (reason.empty() ? "" : reason + u8"、") + Clock(m_outputFailingSince, false) +
               u8" から " + Count(m_outputFailures) + u8" 回）";
    }
    if (m_writeFailures > 0) {
        return u8"出力先 " + m_toUtf8(m_now.output) + u8" に出力できません（" +
               Clock(m_writeFailingSince, false) + u8" から " + Count(m_writeFailures) + u8" 回）";
    }
    if (IsSpoolTrouble(m_now.heldState)) {
        return PrinterTroubleText(m_now.heldPrinterUtf8, m_now.heldState) + u8"（" + Name(m_now.heldJob) + u8"）";
    }
    if (m_now.stalledSeconds >= 30) {
        return u8"プリンターが応答しません（" + Name(m_now.job) + u8"、" +
               Count(static_cast<std::size_t>(m_now.stalledSeconds)) + u8" 秒）";
    }
    if (m_now.readStalledSeconds >= 30) {
        return Name(m_now.job) + u8" の読み込みが進みません（" +
               Count(static_cast<std::size_t>(m_now.readStalledSeconds)) + u8" 秒）";
    }
    if (m_now.busySeconds >= 30) {
        return Name(m_now.job) + u8" は他のプログラムが使用中です（" +
               Count(static_cast<std::size_t>(m_now.busySeconds)) + u8" 秒）";
    }
    if (m_now.companionSeconds >= 600) {
        return Name(m_now.companion) + u8" が " +
               Count(static_cast<std::size_t>(m_now.companionSeconds / 60)) +
               u8" 分残っています（" + Name(m_now.job) + u8" は待機中）";
    }
    if (m_now.stuckJobs > 0) {
        return Name(m_now.stuckJob) + Others(m_now.stuckJobs) +
               u8" を削除できません。1 回だけ出力しました。手で削除してください";
    }
    if (m_now.strays > 0) {
        return u8"開けないファイルがあります: " + m_now.strayNameUtf8 + Others(m_now.strays);
    }
    if (m_footerFailed) {
        return Name(m_footerFailedJob) + u8" のフッターを出力先 " + m_toUtf8(m_now.output) +
               u8" に出力できませんでした";
    }
    if (m_headerMissing || m_footerMissing) {
        const char* part = m_headerMissing ? u8"ヘッダー" : u8"フッター";
        return std::string(part) + u8"ファイル " +
               m_toUtf8(m_headerMissing ? m_now.header : m_now.footer) + u8" を開けません（" +
               part + u8"なしで出力しました）";
    }
    if (m_now.recordWaiting > 0) {
        return u8"記録を書き込めません（" + Count(m_now.recordWaiting) +
               u8" 行を保留中、出力は続けています）";
    }
    // The suffix is put after the job's name without its extension: "OFI"
    // makes ORDER1OFI the companion, which never comes, and jobs would go
    // out half-written.
    if (!m_now.waiting.empty() && m_now.waiting[0] != '.') {
        return u8"待機ファイルの拡張子が「.」で始まっていません";
    }
    if (!m_now.recordSecondDay.empty()) {
        return DayFileName(m_now.recordSecondDay) + u8" に書き込めないため、記録を " +
               SecondDayFileName(m_now.recordSecondDay) + u8" に書いています";
    }
    return std::string();
}

std::string StatusBoard::TroubleShort() const {
    if (m_now.outputUnrepresentable) return u8"出力先の名前を使えません";
    if (m_now.folderUnreachable) return u8"検索位置を開けません";
    if (m_outputFailures > 0) return u8"出力先を開けません";
    if (m_writeFailures > 0) return u8"出力先に出力できません";
    if (IsSpoolTrouble(m_now.heldState)) return std::string(u8"プリンターは") + SpoolTroubleText(m_now.heldState);
    if (m_now.stalledSeconds >= 30) return u8"プリンターが応答しません";
    if (m_now.readStalledSeconds >= 30) return u8"ジョブの読み込みが進みません";
    if (m_now.busySeconds >= 30) return u8"ジョブが他のプログラムで使用中です";
    if (m_now.companionSeconds >= 600) return u8"待機ファイルが残っています";
    if (m_now.stuckJobs > 0) return u8"削除できないジョブがあります";
    if (m_now.strays > 0) return u8"開けないファイルがあります";
    if (m_footerFailed) return u8"フッターを出力できませんでした";
    if (m_headerMissing) return u8"ヘッダーファイルを開けません";
    if (m_footerMissing) return u8"フッターファイルを開けません";
    if (m_now.recordWaiting > 0) return u8"記録を書き込めません";
    if (!m_now.waiting.empty() && m_now.waiting[0] != '.') return u8"待機ファイルの設定を確かめてください";
    return std::string();
}

std::string StatusBoard::Name(const std::string& path) const {
    const std::string text = m_toUtf8(path);
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}
