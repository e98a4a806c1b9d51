#include "relay/Counters.h"

#include <cinttypes>
#include <cstdio>

void FormatThousands(std::string& text, uint32_t value) {
    static const uint32_t kDivisors[] = {1000000000u, 1000000u, 1000u};
    char group[16];
    text.clear();
    bool grouped = false;
    for (const uint32_t divisor : kDivisors) {
        if (value >= divisor) {
            std::snprintf(group, sizeof group, grouped ? "%03" PRIu32 "," : "%" PRIu32 ",", value / divisor);
            text += group;
            value %= divisor;
            grouped = true;
        } else if (grouped) {
            text += "000,";
        }
    }
    std::snprintf(group, sizeof group, grouped ? "%03" PRIu32 : "%" PRIu32, value);
    text += group;
}

std::string FormatUptime(int64_t secondsSinceStart) {
    // A clock set back before the start shows no time rather than a negative one.
    const int64_t s = secondsSinceStart < 0 ? 0 : secondsSinceStart;
    const int64_t days = s / 86400;
    const int64_t hours = s / 3600 - days * 24;
    const int64_t minutes = s / 60 - (s / 3600) * 60;
    char text[64];
    std::snprintf(text, sizeof text, "%" PRId64 "' %02" PRId64 ":%02" PRId64, days, hours, minutes);
    return text;
}
