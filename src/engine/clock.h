#pragma once
// Everything that reads the time goes through a Clock, so tests and
// `pelmctl show --at` can fix it: the local time of day the board shows,
// and the wall-clock time its journal and status copy carry.

#include <QtGlobal>

#include "platform/time_of_day.h"

namespace pelm {

class Clock {
public:
    virtual ~Clock() = default;
    /// The current local time of day, with its milliseconds.
    virtual TimeOfDay now() const = 0;
    /// Milliseconds since 1970-01-01 UTC. May be called from any thread.
    virtual qint64 nowMs() const = 0;
};

/// The computer's clock.
class SystemClock : public Clock {
public:
    TimeOfDay now() const override;
    qint64 nowMs() const override;
};

/// A time of day that stays as it is told, on the computer's wall clock;
/// for tests and one-off ticks (`pelmctl show --at`).
class FixedClock : public Clock {
public:
    explicit FixedClock(TimeOfDay time = TimeOfDay(0)) : time_(time) {}
    TimeOfDay now() const override { return time_; }
    qint64 nowMs() const override { return wall_.nowMs(); }
    void set(TimeOfDay time) { time_ = time; }

private:
    TimeOfDay time_;
    SystemClock wall_;
};

}  // namespace pelm
