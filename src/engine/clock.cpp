#include "engine/clock.h"

#include <QDateTime>
#include <QTime>

namespace pelm {

TimeOfDay SystemClock::now() const {
    return TimeOfDay(QTime::currentTime().msecsSinceStartOfDay());
}

qint64 SystemClock::nowMs() const {
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace pelm
