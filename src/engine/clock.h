#pragma once
// Everything that reads the time of day goes through a Clock, so tests and
// `pelmctl show --at` can fix it.

#include "platform/time_of_day.h"

namespace pelm {

class Clock {
public:
    virtual ~Clock() = default;
    /// The current local time of day, with its milliseconds.
    virtual TimeOfDay now() const = 0;
};

/// The computer's local time.
class SystemClock : public Clock {
public:
    TimeOfDay now() const override;
};

/// A clock that shows what it is told; for tests and one-off ticks.
class FixedClock : public Clock {
public:
    explicit FixedClock(TimeOfDay time = TimeOfDay(0)) : time_(time) {}
    TimeOfDay now() const override { return time_; }
    void set(TimeOfDay time) { time_ = time; }

private:
    TimeOfDay time_;
};

}  // namespace pelm
