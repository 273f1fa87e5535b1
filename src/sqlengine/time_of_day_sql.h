#pragma once
// Times of day inside SQL. Columns that hold a time are declared
// `COLLATE TIMEOFDAY CHECK (is_time_of_day(<column>))`: comparing and
// ordering go by the time a text names ("9:05:07" before "10:00:00"), and
// a text that names no time is refused with the board's own message.

#include <string_view>

#include "platform/cp932.h"

struct sqlite3;

namespace pelm {

constexpr std::string_view kTimeOfDayCollation = "TIMEOFDAY";
constexpr std::string_view kTimeOfDayCheck = "is_time_of_day";

/// Registers the collation and the check function on a connection. Both
/// read times with the locale pieces in force for the process.
/// Returns SQLite's result code.
int registerTimeOfDay(sqlite3* handle);

/// The collation's order: texts that name a time first, by that time;
/// then every other text, byte by byte.
int compareTimeTexts(const Cp932& a, const Cp932& b);

}  // namespace pelm
