#pragma once
// What an operator wants to know about a schedule before a race day: every
// line the board would skip or reject, and what looks wrong even though the
// board would show it.

#include <optional>
#include <string>
#include <string_view>
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
std::vector<Finding> checkSchedule(const std::vector<std::string>& lines, const LocaleTime& locale);

/// A warning on the line holding the schedule's first NUL byte, which ends
/// the text for the board so that every line after it is silently dropped;
/// it says how many. Nothing when `bytes` hold no NUL.
std::optional<Finding> checkNulByte(std::string_view bytes);

/// What a check of the schedule's bytes found: the lines the board takes
/// from them and every finding, in line order.
struct ScheduleCheck {
    std::size_t lines = 0;
    std::vector<Finding> findings;
};

/// Checks the schedule's bytes (as read, at most kScheduleLimits.maxBytes
/// + 1 of them) as the board takes them in: its lines within the limits,
/// a NUL that hides lines, and lines cut away by the limits.
ScheduleCheck checkScheduleBytes(std::string_view bytes, const LocaleTime& locale);

}  // namespace pelm
