// The texts of the counters on the main window.
#pragma once

#include <cstdint>
#include <string>

// The value in decimal with a comma between groups of three digits.
void FormatThousands(std::string& text, uint32_t value);

// Days, hours and minutes as "%d' %02d:%02d"; negative spans show as zero.
std::string FormatUptime(int64_t secondsSinceStart);
