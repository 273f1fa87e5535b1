// Dragging the border between the upper area and the notice area.

#include <QKeyEvent>
#include <QMouseEvent>

#include "board_fixture.h"

namespace pelm::testing {
namespace {

class Splitter : public BoardTest {
protected:
    void SetUp() override {
        writeSettings();
        showBoard();
        form->setNoticeShown(true);  // as a refresh that finds a notice does
        form->setUpperHeight(upperHeight(form->windowHeight(), true));
        ASSERT_EQ(form->height(), 679);
        ASSERT_EQ(upperAreaHeight(*form), 480);
    }

    TopSplitter& splitter() const { return component<TopSplitter>(*form, "Splitter1"); }

    void mouse(QEvent::Type type, int dy) {
        const QPoint at(40, 2 + dy);
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, splitter().mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&splitter(), &event);
    }

    int dragBy(int dy) {
        mouse(QEvent::MouseButtonPress, 0);
        mouse(QEvent::MouseMove, dy);
        mouse(QEvent::MouseButtonRelease, dy);
        return upperAreaHeight(*form);
    }
};

TEST_F(Splitter, DragMovesTheBorderAndTheRegionsFollow) {
    EXPECT_EQ(dragBy(-100), 380);
    EXPECT_EQ(splitter().y(), 380);
    const QWidget& notice = component(*form, "Panel11");
    EXPECT_EQ(notice.y(), 385);
    EXPECT_EQ(notice.height(), 679 - 385);
}

TEST_F(Splitter, NoticeAreaKeepsTenPixels) {
    EXPECT_EQ(dragBy(400), 679 - 15);
}

TEST_F(Splitter, UpperAreaOfTenPixelsOrLessCollapses) {
    EXPECT_EQ(dragBy(-469), 11);
    EXPECT_EQ(dragBy(-1), 0);
}

TEST_F(Splitter, ShowsAHatchedLineWhileDraggingAndEscapeCancels) {
    mouse(QEvent::MouseButtonPress, 0);
    mouse(QEvent::MouseMove, -200);
    ASSERT_TRUE(splitter().isDragging());
    EXPECT_EQ(upperAreaHeight(*form), 480);  // the border moves only on release
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&splitter(), &escape);
    EXPECT_FALSE(splitter().isDragging());
    mouse(QEvent::MouseButtonRelease, -200);
    EXPECT_EQ(upperAreaHeight(*form), 480);
}

TEST_F(Splitter, NextResizeAppliesTheHeightRuleAgain) {
    dragBy(-200);
    form->resize(form->width() + 10, form->height());
    EXPECT_EQ(upperAreaHeight(*form), 480);
}

}  // namespace
}  // namespace pelm::testing
