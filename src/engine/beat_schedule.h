#pragma once
// When the refresh beats fall: on the wall clock's quarter seconds, a few
// milliseconds after each, so the clock's shown second flips just after the
// system's own and boards on one synchronised network flip together. A timer
// that merely repeats every 250 ms keeps whatever phase the machine's
// monotonic clock gave it at start, up to a quarter second late.
//
// The next beat is worked out afresh from the wall clock after every beat:
// a late beat is followed by the next quarter still ahead (never a burst of
// catch-up beats), and a clock set back or forward is followed at once.

#include <QtGlobal>

namespace pelm {

class BeatSchedule {
public:
    /// Beats every `periodMs`, each `marginMs` after its boundary; the
    /// margin covers a timer that wakes a hair early against the wall clock.
    constexpr BeatSchedule(qint64 periodMs, qint64 marginMs)
        : periodMs_(periodMs), marginMs_(marginMs) {}

    /// The next beat's due time after a beat at `nowMs` (ms since the epoch):
    /// the beat of the next period, so a beat that ran within its margin,
    /// early, does not run again.
    qint64 nextDueMs(qint64 nowMs) const;
    /// Milliseconds from `nowMs` to nextDueMs(nowMs); always positive.
    qint64 delayMs(qint64 nowMs) const { return nextDueMs(nowMs) - nowMs; }

private:
    qint64 periodMs_;
    qint64 marginMs_;
};

}  // namespace pelm
