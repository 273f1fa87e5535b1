#pragma once
// What an operator wants to know about a schedule before a race day: every
// line the board would skip or reject, and what looks wrong even though the
// board would show it.

#include <string>
#include <vector>

#include "platform/time_of_day.h"

namespace pelm {

struct Finding {
    enum class Severity { Warning, Error };

    std::size_t line;  // counted from 1
    Severity severity;
    std::string message;  // UTF-8, for the terminal
    bool operator==(const Finding&) const = default;
};

/// Checks schedule lines as the board would read them, in line order.
std::vector<Finding> checkSchedule(const std::vector<std::string>& lines,
                                   const LocaleTime& locale);

}  // namespace pelm
