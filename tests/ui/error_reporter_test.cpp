// The error box: what it shows, and that an error repeating on every
// refresh leaves one box with a count instead of a pile, while the
// refreshes go on.

#include "board_fixture.h"
#include "engine/error_text.h"
#include "support/cp932_bytes.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {
namespace {

class ErrorBox : public BoardTest {};

TEST_F(ErrorBox, FailingRefreshRepeatedAHundredTimesOpensOneBox) {
    writeSettings();
    writeSchedule("xx,10:00:00,A\r\n");
    TForm1& board = showBoard();
    for (int tick = 0; tick < 100; ++tick) board.Timer1Timer();

    ASSERT_EQ(openBoxes().size(), 1);
    QMessageBox& box = *openBoxes().front();
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_EQ(box.windowTitle(), programTitle(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(box.text(), "'xx' は時刻ではありません.");
    EXPECT_EQ(box.buttons().size(), 1);
    EXPECT_TRUE(box.informativeText().contains("99")) << box.informativeText().toStdString();
    EXPECT_EQ(reporter(board).repeats(), 99);
    EXPECT_TRUE(component<QTimer>(board, "Timer1").isActive());
}

TEST_F(ErrorBox, ClosingTheBoxLetsTheNextFailureOpenAFreshOne) {
    writeSettings();
    writeSchedule("xx,10:00:00,A\r\n");
    TForm1& board = showBoard();
    board.Timer1Timer();
    board.Timer1Timer();
    openBoxes().front()->accept();
    settle();
    EXPECT_TRUE(openBoxes().isEmpty());

    board.Timer1Timer();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(reporter(board).repeats(), 0);
    EXPECT_TRUE(openBoxes().front()->informativeText().isEmpty());
}

TEST_F(ErrorBox, ClosesItselfAtTheFirstCleanRefreshAfterTheFileIsMended) {
    writeSettings();
    writeSchedule("xx,10:00:00,A\r\n10:30:00,11:00:00,B\r\n");
    TForm1& board = showBoard();
    board.Timer1Timer();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(clockText(board), "10:40:00") << "a left-out line does not stop the clock";
    EXPECT_EQ(gridRows(board).rowCount(), 1);

    writeSchedule("10:30:00,11:00:00,B\r\n");
    board.Timer1Timer();
    settle();
    EXPECT_TRUE(openBoxes().isEmpty());
}

TEST_F(ErrorBox, ADifferentErrorTakesOverTheBoxAndStartsItsCountAfresh) {
    writeSettings();
    writeSchedule("xx,10:00:00,A\r\n");
    TForm1& board = showBoard();
    board.Timer1Timer();
    board.Timer1Timer();
    EXPECT_EQ(reporter(board).repeats(), 1);
    writeSchedule("yy,10:00:00,A\r\n");
    board.Timer1Timer();
    ASSERT_EQ(openBoxes().size(), 1);
    EXPECT_EQ(openBoxes().front()->text(), "'yy' は時刻ではありません.");
    EXPECT_EQ(reporter(board).repeats(), 0);
    EXPECT_TRUE(openBoxes().front()->informativeText().isEmpty());
}

TEST(ErrorReporter, ShowsTheMessageDecodedWithItsPeriod) {
    QWidget window;
    ErrorReporter reporter(&window);
    reporter.report(utf8ToCp932("接続が切れました"));
    ASSERT_NE(reporter.openBox(), nullptr);
    EXPECT_EQ(reporter.openBox()->text(), "接続が切れました.");
    EXPECT_TRUE(reporter.openBox()->isModal());
}

}  // namespace
}  // namespace pelm::testing

namespace pelm::testing {
namespace {

// What is cleared is gone at once: the same notice or error said right
// after opens afresh instead of counting into a box on its way out.
TEST(ErrorReporter, ASayingAfterAClearOpensAFreshBox) {
    QWidget window;
    ErrorReporter reporter(&window);
    reporter.inform("notice");
    reporter.report(cp932Ascii("first"));
    reporter.clear();
    reporter.inform("notice");
    reporter.report(cp932Ascii("first"));
    settle();
    ASSERT_EQ(openBoxes().size(), 2);
    EXPECT_EQ(reporter.repeats(), 0);
    EXPECT_TRUE(reporter.openBox()->informativeText().isEmpty());
    reporter.clear();
    settle();
    EXPECT_TRUE(openBoxes().isEmpty());
}

}  // namespace
}  // namespace pelm::testing
