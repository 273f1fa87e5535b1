#include "engine/time_text.h"

#include "platform/error.h"

namespace pelm {

Cp932 timeText(const Clock& clock) {
    return timeText(clock.now());
}

Cp932 timeText(TimeOfDay time) {
    return formatTimeOfDay(time, currentLocaleTime());
}

TimeOfDay strToTime(std::string_view text) {
    if (auto time = parseTimeOfDay(text, currentLocaleTime())) return *time;
    throw Error(notATimeMessage(text));
}

}  // namespace pelm
