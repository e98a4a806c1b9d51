#include "relay/Counters.h"

#include <gtest/gtest.h>

namespace {

TEST(Counters, FormatThousandsGroupsByThree) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {1001, "1,001"},
        {12345, "12,345"},
        {999999, "999,999"},
        {1000000, "1,000,000"},
        {1002003, "1,002,003"},
        {1000000000, "1,000,000,000"},
        {1234567890, "1,234,567,890"},
        {4294967295u, "4,294,967,295"},
    };
    for (const auto& [value, text] : cases) {
        std::string formatted = "left over";
        FormatThousands(formatted, value);
        EXPECT_EQ(text, formatted) << value;
    }
}

TEST(Counters, FormatUptimeShowsDaysHoursMinutes) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0' 00:00"},        {59, "0' 00:00"},    {60, "0' 00:01"},
        {3599, "0' 00:59"},     {3661, "0' 01:01"},  {86399, "0' 23:59"},
        {86400, "1' 00:00"},    {90061, "1' 01:01"}, {1000000, "11' 13:46"},
        {-1, "0' 00:00"},       {-90061, "0' 00:00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(text, FormatUptime(seconds)) << seconds;
    }
}

}  // namespace
