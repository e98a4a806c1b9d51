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

std::string StatusBoard::StatusLine() const {
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
    if (m_now.recordFailed) {
        return u8"記録を書き込めません（出力は続けています）";
    }
    return m_lastSent;
}

std::string StatusBoard::TroubleShort() const {
    if (m_now.outputUnrepresentable) return u8"出力先の名前を使えません";
    if (m_now.folderUnreachable) return u8"検索位置を開けません";
    if (m_outputFailures > 0) return u8"出力先を開けません";
    if (m_writeFailures > 0) return u8"出力先に出力できません";
    if (IsSpoolTrouble(m_now.heldState)) return std::string(u8"プリンターは") + SpoolTroubleText(m_now.heldState);
    if (m_now.stalledSeconds >= 30) return u8"プリンターが応答しません";
    if (m_now.companionSeconds >= 600) return u8"待機ファイルが残っています";
    if (m_now.stuckJobs > 0) return u8"削除できないジョブがあります";
    if (m_now.strays > 0) return u8"開けないファイルがあります";
    if (m_footerFailed) return u8"フッターを出力できませんでした";
    if (m_headerMissing) return u8"ヘッダーファイルを開けません";
    if (m_footerMissing) return u8"フッターファイルを開けません";
    if (m_now.recordFailed) return u8"記録を書き込めません";
    return std::string();
}

std::string StatusBoard::Name(const std::string& path) const {
    const std::string text = m_toUtf8(path);
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}
