#include "engine/beat_schedule.h"

#include <gtest/gtest.h>

namespace pelm {
namespace {

constexpr qint64 kQuarter = 250;
constexpr qint64 kMargin = 3;
constexpr BeatSchedule kBeats{kQuarter, kMargin};
// 2026-12-07 10:40:00 UTC, a whole second.
constexpr qint64 kSecond = 1'796'640'000'000;

struct DueCase {
    const char* name;
    qint64 nowMs;
    qint64 dueMs;
};

TEST(BeatSchedule, AfterABeatTheNextIsDueJustAfterTheNextQuarterOfTheWallClock) {
    const DueCase cases[] = {
        {"on a whole second", kSecond, kSecond + kQuarter + kMargin},
        {"on a half second", kSecond + 2 * kQuarter, kSecond + 3 * kQuarter + kMargin},
        {"just before a second", kSecond - 1, kSecond + kMargin},
        {"just after a second", kSecond + 1, kSecond + kQuarter + kMargin},
        {"on its own due time", kSecond + kMargin, kSecond + kQuarter + kMargin},
        {"early, inside the margin", kSecond + kMargin - 1, kSecond + kQuarter + kMargin},
        {"just before a quarter", kSecond + kQuarter - 1, kSecond + kQuarter + kMargin},
        {"late, within its quarter", kSecond + kMargin + 120, kSecond + kQuarter + kMargin},
        {"late, past the next quarter", kSecond + kMargin + kQuarter + 40,
         kSecond + 2 * kQuarter + kMargin},
        {"before the epoch", -kQuarter - 1, -kQuarter + kMargin},
        {"just before the epoch", -1, kMargin},
    };
    for (const DueCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kBeats.nextDueMs(c.nowMs), c.dueMs);
        EXPECT_EQ(kBeats.delayMs(c.nowMs), c.dueMs - c.nowMs);
    }
}

struct JumpCase {
    const char* name;
    qint64 jumpMs;
    qint64 nextDueMs;  // after the beat that sees the jump
};

// A beat runs on time; before the next one the wall clock is set by
// `jumpMs`. That next beat comes a quarter later as the machine counts, sees
// the new time and puts the one after on the new clock's next quarter.
TEST(BeatSchedule, AClockSetBackOrForwardIsFollowedAtTheNextBeat) {
    const JumpCase cases[] = {
        {"back an hour", -3'600'000, kSecond - 3'600'000 + 2 * kQuarter + kMargin},
        {"back a tenth of a second", -100, kSecond + kQuarter + kMargin},
        {"forward a tenth of a second", 100, kSecond + 2 * kQuarter + kMargin},
        {"forward a day", 86'400'000, kSecond + 86'400'000 + 2 * kQuarter + kMargin},
    };
    const qint64 beat = kSecond + kMargin;
    const qint64 wait = kBeats.delayMs(beat);
    for (const JumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 nextBeat = beat + wait + c.jumpMs;
        EXPECT_EQ(kBeats.nextDueMs(nextBeat), c.nextDueMs);
        EXPECT_GT(kBeats.delayMs(nextBeat), 0);
        EXPECT_LE(kBeats.delayMs(nextBeat), kQuarter + kMargin);
    }
}

}  // namespace
}  // namespace pelm
