// What the end-to-end tests share: job payloads that show their origin, and a
// fixture whose LPT1 capture starts empty for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/wine/VarnowDriver.h"

namespace e2e_fixture {

using namespace e2e;

inline const wchar_t kStartSearch[] = L"検索開始";
inline const wchar_t kStopSearch[] = L"検索中断";
inline const wchar_t kCancelOutput[] = L"出力中止";
inline constexpr int kStatusLine = 1013;

// The status line as one line: the window breaks a long one in two.
inline std::wstring StatusText(const Varnow& app) {
    std::wstring text = app.ItemText(kStatusLine);
    for (size_t at; (at = text.find(L"\r\n")) != std::wstring::npos;) text.erase(at, 2);
    return text;
}

inline std::string Payload(const std::string& tag, size_t size) {
    std::string bytes = tag + ":";
    while (bytes.size() < size) bytes += static_cast<char>('a' + bytes.size() % 26);
    bytes.resize(size);
    return bytes;
}

inline size_t CountOf(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++count;
    return count;
}

class RelayEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        m_capture = LptCapture(1);
        ASSERT_FALSE(m_capture.empty()) << "VARNOW_LPT1_CAPTURE is not set";
        ASSERT_TRUE(WriteFileBytes(m_capture, ""));
        DeleteFileW((m_capture + L".stall").c_str());
    }
    void TearDown() override { DeleteFileW((m_capture + L".stall").c_str()); }

    // The capture, once it has stopped growing for a moment.
    std::string SettledCapture() {
        std::string last = ReadFileBytes(m_capture);
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            std::string now = ReadFileBytes(m_capture);
            if (now == last) return now;
            last = now;
        }
        return last;
    }

    std::wstring m_capture;
};

}  // namespace e2e_fixture
