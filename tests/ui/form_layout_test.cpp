// The window's fixed layout after creation, the height rule of the upper
// area, the logo switch and the clock font of the first showing.

#include <QHeaderView>
#include <algorithm>

#include "board_fixture.h"
#include "engine/error_text.h"
#include "support/cp932_bytes.h"
#include "ui/fonts.h"

using pelm::testing::cp932Bytes;

namespace pelm::testing {
namespace {

// The next widget that Tab moves to.
QWidget* nextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(widget->window())) {
        next = next->nextInFocusChain();
    }
    return next;
}

int stackIndex(const QWidget* widget) {
    return static_cast<int>(widget->parentWidget()->children().indexOf(widget));
}

TEST(FormLayout, RegionsStackFromTheTopAndFillTheWindow) {
    BoardLife life;
    TForm1 form(life);
    EXPECT_EQ(form.windowTitle(), "Tovalen V1.3");
    EXPECT_EQ(form.windowHeight(), 710);
    const QWidget& notice = component(form, "Panel11");
    EXPECT_EQ(component(form, "Panel10").geometry(), QRect(0, 0, form.width(), 676));
    EXPECT_EQ(component(form, "Splitter1").geometry(), QRect(0, 676, form.width(), 5));
    EXPECT_EQ(notice.y(), component(form, "Splitter1").geometry().bottom() + 1);
    EXPECT_EQ(notice.y() + notice.height(), std::max(notice.y(), form.height()));
    EXPECT_EQ(notice.width(), form.width());
}

TEST(FormLayout, DataColumnsAndEveryControlLieInsideTheWindow) {
    BoardLife life;
    TForm1 form(life);
    const QRect client = form.rect();
    for (const char* name : {"Labtime", "Ed1", "Edt", "Panel3", "Panel6", "Panel9", "Panel7"}) {
        EXPECT_TRUE(client.contains(component(form, name).geometry())) << name;
    }
    // The grid reaches under the window's border on the right; its columns do not.
    const auto& grid = component<ScheduleGrid>(form, "DBGrid1");
    const int columnsEnd = grid.x() + 2 + 11 + grid.horizontalHeader()->length();
    EXPECT_EQ(columnsEnd, 130 + 2 + 11 + 841);
    EXPECT_LT(columnsEnd, component(form, "Panel2").x());
    EXPECT_LE(component(form, "Panel2").x(), client.right());
}

TEST(FormLayout, CurtainCoversTheGridWhileLabelsAndPreviousRaceStayAbove) {
    BoardLife life;
    TForm1 form(life);
    EXPECT_FALSE(curtainShown(form));
    const QRect gridOnShow(144, 186, 988 - 144, 624 - 186);  // between the covers
    const QWidget& curtain = component(form, "Panel6");
    EXPECT_TRUE(curtain.geometry().contains(gridOnShow));
    for (const char* below : {"DBGrid1", "Panel1", "Panel2", "Panel4", "Panel5"}) {
        EXPECT_LT(stackIndex(&component(form, below)), stackIndex(&curtain)) << below;
    }
    for (const char* above : {"Panel9", "Panel3", "Ed1", "Edt"}) {
        EXPECT_GT(stackIndex(&component(form, above)), stackIndex(&curtain)) << above;
    }
    EXPECT_EQ(stackIndex(&component(form, "Labtime")), 0);  // the clock lies beneath everything
}

TEST(FormLayout, StandInFacesKeepTheDesignsMeasure) {
    BoardLife life;
    TForm1 form(life);
    EXPECT_EQ(clockText(form), "10:15:25");
    // The narrow Latin face writes the time a little inside the design's width.
    const QWidget& clock = component(form, "Labtime");
    EXPECT_LE(clock.width(), 484);
    EXPECT_GE(clock.width(), 460);
    EXPECT_LT(clock.geometry().right(), component(form, "Panel9").x());  // clear of the small logo
    EXPECT_LE(component(form, "Label2").geometry().right(),
              component(form, "Label5").x());  // "Now" clear of "=>"
    QFont other("DejaVu Sans");
    EXPECT_EQ(atDesignMeasure(other).stretch(), other.stretch());
}

TEST(FormLayout, TabGoesFromThePreviousRaceToItsLabelToTheNotice) {
    BoardLife life;
    TForm1 form(life);
    QWidget* previousRace = &component(form, "Ed1");
    QWidget* previousRaceLabel = &component(form, "Edt");
    QWidget* notice = &component(form, "DBMemo1");
    EXPECT_EQ(nextTabStop(previousRace), previousRaceLabel);
    EXPECT_EQ(nextTabStop(previousRaceLabel), notice);
    EXPECT_EQ(nextTabStop(notice), previousRace);  // the grid is no tab stop
    EXPECT_EQ(form.focusWidget(), previousRace);
}

class FormResize : public BoardTest {};

TEST_F(FormResize, UpperAreaFollowsTheNoticeAndTheWindowHeight) {
    writeSettings();
    TForm1& board = showBoard();
    board.setNoticeShown(true);
    board.resize(board.width(), 500);
    board.resize(board.width(), 710 - 31);
    EXPECT_EQ(upperAreaHeight(board), 480);
    board.setNoticeShown(false);
    board.resize(1280, 1000);  // as maximising on a large screen does
    EXPECT_EQ(upperAreaHeight(board), 1000 + 31 - 34);
    EXPECT_EQ(component(board, "Panel10").width(), 1280);
    board.resize(board.width(), 710 - 31);
    EXPECT_EQ(upperAreaHeight(board), 676);
    EXPECT_EQ(component(board, "Panel11").height(), 0);  // no notice: the notice area is gone
}

TEST(FormLayout, NoticeTextIsSetWholeAndCannotBeEdited) {
    BoardLife life;
    TForm1 form(life);
    form.setNoticeText(utf8ToCp932("本日は晴天なり\r\n第二行\r\n"));
    EXPECT_EQ(noticeText(form), "本日は晴天なり\n第二行\n");
    form.setNoticeText(utf8ToCp932("変更\r\n"));
    EXPECT_EQ(noticeText(form), "変更\n");
    EXPECT_TRUE(component<QPlainTextEdit>(form, "DBMemo1").isReadOnly());
}

class LogoAndClock : public BoardTest {};

TEST_F(LogoAndClock, LogoOnShowsBothLogos) {
    writeSettings("Logo=on\r\n");
    TForm1& board = showBoard();
    EXPECT_TRUE(largeLogoShown(board));
    EXPECT_EQ(component(board, "Panel9").pos(), QPoint(776, 5));
    EXPECT_EQ(component<QLabel>(board, "Image2").pixmap().size(), QSize(220, 106));
    EXPECT_EQ(component<QLabel>(board, "Image1").pixmap().size(), QSize(118, 24));
}

TEST_F(LogoAndClock, AnyOtherLogoValueShowsOnlyTheSmallOneAtTheLeft) {
    for (const char* value : {"off", "On", ""}) {
        writeSettings(std::string("Logo=") + value + "\r\n");
        TForm1& board = showBoard();
        EXPECT_FALSE(largeLogoShown(board)) << value;
        EXPECT_EQ(component(board, "Panel9").pos(), QPoint(8, 5)) << value;
    }
}

TEST_F(LogoAndClock, ClockTakesFaceSizeAndColourFromTheSettings) {
    writeSettings("[Font]\r\nFont=ＭＳ Ｐゴシック\r\nSize=72\r\nColor=255\r\n");
    TForm1& board = showBoard();
    const ClockFace& clock = component<ClockFace>(board, "Labtime");
    EXPECT_EQ(clock.font().family(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(clock.font().pixelSize(), 96);
    EXPECT_EQ(clock.palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(LogoAndClock, DefaultClockIsBlueAndSizedToItsText) {
    writeSettings();
    TForm1& board = showBoard();
    const ClockFace& clock = component<ClockFace>(board, "Labtime");
    EXPECT_EQ(clock.font().pixelSize(), 133);
    EXPECT_EQ(clock.palette().color(QPalette::WindowText), QColor(82, 113, 235));
    EXPECT_EQ(clock.pos(), QPoint(232, 0));
    EXPECT_EQ(clock.size(), clock.sizeHint());
}

}  // namespace
}  // namespace pelm::testing
