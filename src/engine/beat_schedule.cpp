#include "engine/beat_schedule.h"

namespace pelm {

qint64 BeatSchedule::nextDueMs(qint64 nowMs) const {
    // Floor division, so times before the epoch (a flat RTC battery) keep
    // the same grid.
    qint64 period = nowMs / periodMs_;
    if (nowMs % periodMs_ < 0) --period;
    return (period + 1) * periodMs_ + marginMs_;
}

}  // namespace pelm
