#pragma once
// Times of day written as a clock shows them.

#include "platform/time_of_day.h"

namespace pelm::testing {

inline TimeOfDay at(int hour, int minute, int second = 0, int millisecond = 0) {
    return TimeOfDay(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

}  // namespace pelm::testing
