// The window's fixed layout after creation, the height rule of the upper
// area, the logo switch and the clock font of the first showing.

#include <QHeaderView>
#include <algorithm>

#include "board_fixture.h"
#include "engine/error_text.h"
#include "ui/fonts.h"
#include "support/cp932_bytes.h"

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
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Tovalen V1.3");
    EXPECT_EQ(form.windowHeight(), 710);
    EXPECT_EQ(form.Panel10->geometry(), QRect(0, 0, form.width(), 676));
    EXPECT_EQ(form.Splitter1->geometry(), QRect(0, 676, form.width(), 5));
    EXPECT_EQ(form.Panel11->y(), form.Splitter1->geometry().bottom() + 1);
    EXPECT_EQ(form.Panel11->y() + form.Panel11->height(),
              std::max(form.Panel11->y(), form.height()));
    EXPECT_EQ(form.Panel11->width(), form.width());
}

TEST(FormLayout, DataColumnsAndEveryControlLieInsideTheWindow) {
    TForm1 form;
    const QRect client = form.rect();
    for (QWidget* element : {static_cast<QWidget*>(form.Labtime), static_cast<QWidget*>(form.Ed1),
                             static_cast<QWidget*>(form.Edt), static_cast<QWidget*>(form.Panel3),
                             static_cast<QWidget*>(form.Panel6), static_cast<QWidget*>(form.Panel9),
                             static_cast<QWidget*>(form.Panel7)}) {
        EXPECT_TRUE(client.contains(element->geometry())) << element->objectName().toStdString();
    }
    // The grid reaches under the window's border on the right; its columns do not.
    const QHeaderView& titles = *form.DBGrid1->horizontalHeader();
    const int columnsEnd = form.DBGrid1->x() + 2 + 11 + titles.length();
    EXPECT_EQ(columnsEnd, 130 + 2 + 11 + 841);
    EXPECT_LT(columnsEnd, form.Panel2->x());
    EXPECT_LE(form.Panel2->x(), client.right());
}

TEST(FormLayout, CurtainCoversTheGridWhileLabelsAndPreviousRaceStayAbove) {
    TForm1 form;
    EXPECT_TRUE(form.Panel6->isHidden());
    const QRect gridOnShow(144, 186, 988 - 144, 624 - 186);  // between the covers
    EXPECT_TRUE(form.Panel6->geometry().contains(gridOnShow));
    for (const QWidget* below :
         {static_cast<QWidget*>(form.DBGrid1), static_cast<QWidget*>(form.Panel1),
          static_cast<QWidget*>(form.Panel2), static_cast<QWidget*>(form.Panel4),
          static_cast<QWidget*>(form.Panel5)}) {
        EXPECT_LT(stackIndex(below), stackIndex(form.Panel6)) << below->objectName().toStdString();
    }
    for (const QWidget* above :
         {static_cast<QWidget*>(form.Panel9), static_cast<QWidget*>(form.Panel3),
          static_cast<QWidget*>(form.Ed1), static_cast<QWidget*>(form.Edt)}) {
        EXPECT_GT(stackIndex(above), stackIndex(form.Panel6)) << above->objectName().toStdString();
    }
    EXPECT_EQ(stackIndex(form.Labtime), 0);  // the clock lies beneath everything
}

TEST(FormLayout, StandInFacesKeepTheDesignsMeasure) {
    TForm1 form;
    EXPECT_EQ(form.Labtime->text(), "10:15:25");
    // The narrow Latin face writes the time a little inside the design's width.
    EXPECT_LE(form.Labtime->width(), 484);
    EXPECT_GE(form.Labtime->width(), 460);
    EXPECT_LT(form.Labtime->geometry().right(), form.Panel9->x());  // clear of the small logo
    EXPECT_LE(form.Label2->geometry().right(), form.Label5->x());   // "Now" clear of "=>"
    QFont other("DejaVu Sans");
    EXPECT_EQ(atDesignMeasure(other).stretch(), other.stretch());
}

TEST(FormLayout, TabGoesFromThePreviousRaceToItsLabelToTheNotice) {
    TForm1 form;
    EXPECT_EQ(nextTabStop(form.Ed1), form.Edt);
    EXPECT_EQ(nextTabStop(form.Edt), form.DBMemo1);
    EXPECT_EQ(nextTabStop(form.DBMemo1), form.Ed1);  // the grid is no tab stop
    EXPECT_EQ(form.focusWidget(), form.Ed1);
}

class FormResize : public BoardTest {};

TEST_F(FormResize, UpperAreaFollowsTheNoticeAndTheWindowHeight) {
    writeSettings();
    TForm1& board = showBoard();
    board.setNoticeShown(true);
    board.resize(board.width(), 500);
    board.resize(board.width(), 710 - 31);
    EXPECT_EQ(board.Panel10->height(), 480);
    board.setNoticeShown(false);
    board.resize(1280, 1000);  // as maximising on a large screen does
    EXPECT_EQ(board.Panel10->height(), 1000 + 31 - 34);
    EXPECT_EQ(board.Panel10->width(), 1280);
    board.resize(board.width(), 710 - 31);
    EXPECT_EQ(board.Panel10->height(), 676);
    EXPECT_EQ(board.Panel11->height(), 0);  // no notice: the notice area is gone
}

TEST(FormLayout, NoticeTextIsSetWholeAndCannotBeEdited) {
    TForm1 form;
    form.setNoticeText(utf8ToCp932("本日は晴天なり\r\n第二行\r\n"));
    EXPECT_EQ(form.DBMemo1->toPlainText(), "本日は晴天なり\n第二行\n");
    form.setNoticeText(utf8ToCp932("変更\r\n"));
    EXPECT_EQ(form.DBMemo1->toPlainText(), "変更\n");
    EXPECT_TRUE(form.DBMemo1->isReadOnly());
}

class LogoAndClock : public BoardTest {};

TEST_F(LogoAndClock, LogoOnShowsBothLogos) {
    writeSettings("Logo=on\r\n");
    TForm1& board = showBoard();
    EXPECT_FALSE(board.Panel7->isHidden());
    EXPECT_EQ(board.Panel9->pos(), QPoint(776, 5));
    EXPECT_EQ(board.Image2->pixmap().size(), QSize(220, 106));
    EXPECT_EQ(board.Image1->pixmap().size(), QSize(118, 24));
}

TEST_F(LogoAndClock, AnyOtherLogoValueShowsOnlyTheSmallOneAtTheLeft) {
    for (const char* value : {"off", "On", ""}) {
        writeSettings(std::string("Logo=") + value + "\r\n");
        TForm1& board = showBoard();
        EXPECT_TRUE(board.Panel7->isHidden()) << value;
        EXPECT_EQ(board.Panel9->pos(), QPoint(8, 5)) << value;
    }
}

TEST_F(LogoAndClock, ClockTakesFaceSizeAndColourFromTheSettings) {
    writeSettings("[Font]\r\nFont=ＭＳ Ｐゴシック\r\nSize=72\r\nColor=255\r\n");
    TForm1& board = showBoard();
    EXPECT_EQ(board.Labtime->font().family(), "ＭＳ Ｐゴシック");
    EXPECT_EQ(board.Labtime->font().pixelSize(), 96);
    EXPECT_EQ(board.Labtime->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(LogoAndClock, DefaultClockIsBlueAndSizedToItsText) {
    writeSettings();
    TForm1& board = showBoard();
    EXPECT_EQ(board.Labtime->font().pixelSize(), 133);
    EXPECT_EQ(board.Labtime->palette().color(QPalette::WindowText), QColor(82, 113, 235));
    EXPECT_EQ(board.Labtime->pos(), QPoint(232, 0));
    EXPECT_EQ(board.Labtime->size(), board.Labtime->sizeHint());
}

}  // namespace
}  // namespace pelm::testing
