#pragma once
// The clock text and the conversion of schedule times, in the process's
// locale (currentLocaleTime()).

#include <string>
#include <string_view>

#include "engine/clock.h"
#include "platform/cp932.h"

namespace pelm {

/// The clock's current time in the long time format, read afresh.
Cp932 timeText(const Clock& clock);
/// A time of day in the long time format.
Cp932 timeText(TimeOfDay time);

/// The time of day a text names. Throws pelm::Error
/// "'<text>' は時刻ではありません" when it names none.
TimeOfDay strToTime(std::string_view text);

}  // namespace pelm
