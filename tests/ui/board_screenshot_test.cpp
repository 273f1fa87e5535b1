// The whole window in the state of a race day with a notice, as the screen
// shows it: the few pixels that tell the board is drawn right.

#include "board_fixture.h"

namespace pelm::testing {
namespace {

class BoardScreenshot : public BoardTest {};

TEST_F(BoardScreenshot, RaceDayWithNoticeShowsClockGridAndWhiteNoticeOnBlack) {
    writeSettings();
    writeSchedule(
        "10:00:00,10:30:00,開会式\r\n10:30:00,10:50:00,第1レース\r\n"
        "10:50:00,11:10:00,第2レース\r\n");
    writeNotice("本日は晴天なり\r\n次の発走は 10:50 です\r\n");
    TForm1& board = showAndRefresh();
    const QImage shot = board.grab().toImage();
    ASSERT_EQ(shot.size(), board.size());

    EXPECT_EQ(QColor(shot.pixel(20, 150)), QColor(Qt::black));   // between logo and labels
    EXPECT_EQ(QColor(shot.pixel(990, 300)), QColor(Qt::black));  // right cover
    const QRect clock = component<ClockFace>(board, "Labtime").geometry();
    int clockPixels = 0;
    for (int y = clock.top(); y <= clock.bottom(); ++y) {
        for (int x = clock.left(); x <= clock.right(); ++x) {
            clockPixels += QColor(shot.pixel(x, y)) == QColor(82, 113, 235);
        }
    }
    EXPECT_GT(clockPixels, 500);
    const QWidget& noticeBox = component(board, "DBMemo1");
    const QPoint notice = noticeBox.mapTo(&board, QPoint(noticeBox.width() - 20, 150));
    EXPECT_EQ(QColor(shot.pixel(notice)), QColor(Qt::white));
    EXPECT_EQ(upperAreaHeight(board), 480);
}

}  // namespace
}  // namespace pelm::testing
