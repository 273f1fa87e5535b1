#pragma once
// A clock that moves only when told to, so repeats over ten minutes take
// no ten minutes.

#include <atomic>

#include "engine/clock.h"

namespace pelm {

class ManualClock : public Clock {
public:
    explicit ManualClock(qint64 startMs = 1'796'632'800'000) : now_(startMs) {}
    /// The time of day in UTC.
    TimeOfDay now() const override {
        constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;
        return TimeOfDay(now_.load() % kDayMs);
    }
    qint64 nowMs() const override { return now_.load(); }
    void advanceMs(qint64 ms) { now_ += ms; }
    void setMs(qint64 ms) { now_ = ms; }

private:
    std::atomic<qint64> now_;
};

}  // namespace pelm
