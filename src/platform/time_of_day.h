#pragma once
// Times of day as the board's locale writes and reads them: the long time
// format built from the regional settings, and the conversion of a time
// text back into a time of day.

#include <QLocale>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace pelm {

/// Milliseconds since midnight, 0 … 86 399 999.
using TimeOfDay = std::chrono::milliseconds;

/// The regional pieces of the long time format. The defaults are the ones
/// that hold where a regional value is missing.
struct LocaleTime {
    bool twelveHour = true;
    bool leadingZero = false;
    bool markerBefore = false;
    Cp932 separator = cp932Ascii(":");
    Cp932 amWord = cp932Ascii("am");
    Cp932 pmWord = cp932Ascii("pm");
    Cp932 decimalSeparator = cp932Ascii(".");

    /// Reads the pieces from a locale's short time format and AM/PM texts.
    static LocaleTime fromLocale(const QLocale& locale);

    bool operator==(const LocaleTime&) const = default;
};

/// The locale pieces in force for the whole process (the system locale's,
/// once the program has set them; the fallbacks until then).
const LocaleTime& currentLocaleTime();
void setCurrentLocaleTime(LocaleTime localeTime);

/// The time as text in the long time format ("9:05:07", "9:05:07 PM").
Cp932 formatTimeOfDay(TimeOfDay time, const LocaleTime& locale);

/// The time a text names, or nothing when the text is no time of day.
/// Accepts an optional AM/PM word before or after (the regional words or
/// AM/PM, in any case), the hour, optionally separator and minutes,
/// optionally separator and seconds, optionally decimal separator and
/// milliseconds; spaces before each part and at the end; nothing else.
std::optional<TimeOfDay> parseTimeOfDay(std::string_view text, const LocaleTime& locale);

/// "'<text>' は時刻ではありません" in CP932.
Cp932 notATimeMessage(std::string_view text);

}  // namespace pelm
