// The venue judged by the reader's own clock, from looks at a folder the
// tests make up: what a copy's changing, or not changing, says of its board,
// whatever the board's clock says.

#include "venue/venue_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace pelm::venue {
namespace {

constexpr qint64 kPatienceMs = 10000;
constexpr qint64 kWallMs = 1'796'632'800'000;

BoardStatus running(qint64 pid, qint64 boardClockMs, BoardState state = BoardState::Running) {
    BoardStatus status;
    status.pid = pid;
    status.state = state;
    status.host = "pc-1";
    status.workingFolder = "/home/board/pelm";
    status.writtenAt = QDateTime::fromMSecsSinceEpoch(boardClockMs, Qt::UTC);
    return status;
}

// A look that finds `copies` (name, status), read at `readAtMs`, all of
// this process's user.
FolderLook look(std::vector<std::pair<std::string, BoardStatus>> copies, qint64 readAtMs) {
    FolderLook found;
    found.listed = found.complete = true;
    for (const auto& [name, status] : copies) {
        found.names.push_back(name);
        found.copies.push_back(
            {name, checkCopy(statusJson(status).toStdString(), std::nullopt), getuid(), readAtMs});
    }
    return found;
}

class Watch : public ::testing::Test {
protected:
    // One look a second for `seconds`, at each the copy `at(second)` wrote.
    void lookEverySecond(int seconds, const std::function<BoardStatus(int)>& at) {
        for (int second = 0; second < seconds; ++second, ++now_)
            watch_.take(look({{"pc-1-key.json", at(second)}}, wall()), monotonic(), wall());
    }
    VenueBoard board() const { return watch_.view(monotonic(), wall()).boards.at(0); }
    qint64 monotonic() const { return now_ * 1000; }
    qint64 wall() const { return kWallMs + now_ * 1000; }

    VenueWatch watch_{"/venue", kPatienceMs};
    qint64 now_ = 0;
};

TEST_F(Watch, AChangingCopyIsFineHoweverFarItsClockAndAStillOneStopsAnswering) {
    const qint64 anHour = 3600'000;
    lookEverySecond(1, [&](int) { return running(7, wall() + anHour); });
    EXPECT_EQ(board().verdict, Verdict::Checking) << "seen once, not yet seen to run";
    lookEverySecond(3, [&](int) { return running(7, wall() + anHour); });
    EXPECT_EQ(board().verdict, Verdict::Fine);
    EXPECT_NEAR(*board().clockOffsetSeconds, 3600, 0.001);
    const BoardStatus last = running(7, wall() + anHour);
    lookEverySecond(9, [&](int) { return last; });
    EXPECT_EQ(board().verdict, Verdict::Fine) << "nine seconds unchanged: within patience";
    lookEverySecond(2, [&](int) { return last; });
    EXPECT_EQ(board().verdict, Verdict::NotAnswering);
}

TEST_F(Watch, TwoBoardsTakingTurnsOnOneCopyAreFlaggedAtTheWorseVerdictARestartIsNot) {
    lookEverySecond(4, [&](int) { return running(7, wall()); });
    lookEverySecond(4, [&](int) { return running(8, wall()); });  // restarted: a new pid
    EXPECT_FALSE(board().conflict);
    EXPECT_EQ(board().verdict, Verdict::Fine);
    lookEverySecond(6, [&](int second) {  // a clone from the same image, in error
        BoardStatus status = running(second % 2 ? 8 : 9, wall());
        if (status.pid == 9) status.error = QStringLiteral("table locked");
        return status;
    });
    EXPECT_TRUE(board().conflict);
    EXPECT_EQ(board().verdict, Verdict::Error);
}

TEST_F(Watch, TheBoardsClockIsJudgedByTheReadNearestItsWrite) {
    const qint64 behind = -30'000;
    // Read 400 ms, then 50 ms, then 700 ms after the board wrote.
    for (const qint64 lag : {400, 50, 700}) {
        const BoardStatus copy = running(7, wall() + behind - lag);
        watch_.take(look({{"pc-1-key.json", copy}}, wall()), monotonic(), wall());
        ++now_;
    }
    EXPECT_NEAR(*board().clockOffsetSeconds, -30.05, 0.001);
}

}  // namespace
}  // namespace pelm::venue
