#include "engine/refresh_timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "support/headless_board.h"

namespace pelm {
namespace {

// Runs the event loop until `done` holds or ten seconds pass.
template <typename Done>
bool runUntil(Done done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

class RefreshTimerTest : public testing::HeadlessBoard {
protected:
    RefreshTimerTest() { clock.set(testing::at(10, 0)); }
};

TEST_F(RefreshTimerTest, RefreshesTheBoardWithoutAWindow) {
    folder.writeSchedule("9:00:00,11:00:00,Running\r\n");
    RefreshTimer timer(*cycle, nullptr);
    timer.start();
    ASSERT_TRUE(runUntil([&] { return timer.refreshes() >= 2; }));
    EXPECT_EQ(board.previousRace, "");
    ASSERT_TRUE(board.upcoming);
    EXPECT_EQ(board.upcoming->rows.size(), 1u);
    // A change of the file shows at a later refresh, with nothing restarted.
    folder.writeSchedule("");
    EXPECT_TRUE(runUntil([&] { return board.curtainVisible; }));
}

TEST_F(RefreshTimerTest, KeepsRunningThroughFailingRefreshes) {
    folder.writeSchedule("xx,11:00:00,Broken\r\n");
    std::vector<std::string> errors;
    RefreshTimer timer(*cycle, [&](const Error& error) { errors.push_back(error.what()); });
    timer.start();
    ASSERT_TRUE(runUntil([&] { return errors.size() >= 3; }));
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(errors.front(), notATimeMessage("xx"));
    folder.writeSchedule("9:00:00,11:00:00,Mended\r\n");
    EXPECT_TRUE(runUntil([&] { return board.upcoming && board.upcoming->rows.size() == 1; }));
}

}  // namespace
}  // namespace pelm
