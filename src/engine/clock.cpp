#include "engine/clock.h"

#include <QTime>

namespace pelm {

TimeOfDay SystemClock::now() const {
    return TimeOfDay(QTime::currentTime().msecsSinceStartOfDay());
}

}  // namespace pelm
