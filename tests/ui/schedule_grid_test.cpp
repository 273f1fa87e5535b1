// The schedule grid on screen: ten upcoming races at 10:40:00, checked in
// the model, in the view and in the pixels of the upper area, where the
// board's design puts the title rule at y 186 and row k's top at
// 187 + 48 × (k − 1).

#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QTime>
#include <functional>

#include "board_fixture.h"

namespace pelm::testing {
namespace {

constexpr int kRowOneTop = 187;
constexpr int kPitch = 48;
constexpr int kDataLeft = 144;   // first data pixel not under the row labels
constexpr int kDataRight = 983;  // last pixel of the title column
const std::string kClippedTitle = "■■■■■■■■■■■■■■■■■■■■";  // 40 bytes

int rowTop(int row) {
    return kRowOneTop + kPitch * (row - 1);
}
int lineUnder(int row) {
    return rowTop(row) + kPitch - 1;
}

bool isYellow(QRgb pixel) {
    return qRed(pixel) > 160 && qGreen(pixel) > 160 && qBlue(pixel) < 100;
}

bool anyPixel(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (test(image.pixel(x, y))) return true;
        }
    }
    return false;
}

bool allPixels(const QImage& image, const QRect& area, QRgb colour) {
    return !anyPixel(image, area, [colour](QRgb pixel) {
        return qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)) != colour;
    });
}

std::string start(int race) {
    return QTime(10, 30).addSecs(600 * (race - 1)).toString("H:mm:ss").toStdString();
}
std::string end(int race) {
    return QTime(10, 50).addSecs(600 * (race - 1)).toString("H:mm:ss").toStdString();
}
std::string title(int race) {
    return race == 3 ? kClippedTitle : "第" + std::to_string(race) + "レース";
}

class ScheduleGrid : public BoardTest {
protected:
    void SetUp() override {
        writeSettings();
        std::string schedule = "10:00:00,10:30:00,前のレース\r\n";
        for (int race = 1; race <= 10; ++race) {
            schedule += start(race) + "," + end(race) + "," + title(race) + "\r\n";
        }
        writeSchedule(schedule);
        showAndRefresh();
    }

    QRect cellOf(int row, int left, int right) const {
        return QRect(QPoint(left, rowTop(row)), QPoint(right, lineUnder(row) - 1));
    }
    QRect titleCell(int row) const { return cellOf(row, 485, kDataRight); }
    QTableView& gridView() const { return component<QTableView>(*form, "DBGrid1"); }
    QColor highlight() const { return gridView().palette().highlight().color(); }

    // As from the mouse, so that the click gives the focus.
    void click(int row, int column) {
        QTableView& grid = gridView();
        const QPoint at(grid.columnViewportPosition(column) + 20,
                        grid.rowViewportPosition(row) + 20);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
};

TEST_F(ScheduleGrid, TenRacesShowNineRowsInOrderAndTheTenthStaysOutOfView) {
    const RaceGridModel& model = gridRows(*form);
    ASSERT_EQ(model.rowCount(), 10);
    for (int race = 1; race <= 10; ++race) {
        const int row = race - 1;
        EXPECT_EQ(model.index(row, 0).data().toString().toStdString(), start(race));
        EXPECT_EQ(model.index(row, 1).data().toString(), "-");
        EXPECT_EQ(model.index(row, 2).data().toString().toStdString(), end(race));
        EXPECT_EQ(model.index(row, 3).data().toString(), "");
        EXPECT_EQ(model.index(row, 4).data().toString().toStdString(), title(race));
    }
    QTableView& grid = gridView();
    EXPECT_EQ(grid.viewport()->mapTo(&component(*form, "Panel10"), QPoint(0, 0)),
              QPoint(143, kRowOneTop));
    const int visibleHeight = grid.viewport()->height();
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(grid.rowViewportPosition(row), kPitch * row);
        EXPECT_LE(grid.rowViewportPosition(row) + kPitch, visibleHeight);
    }
    EXPECT_GT(grid.rowViewportPosition(9) + kPitch, visibleHeight);
    EXPECT_EQ(grid.verticalScrollBar()->value(), 0);
    // What would be the top of the tenth row is plain black down to the cover.
    EXPECT_TRUE(allPixels(upperArea(),
                          QRect(QPoint(kDataLeft, lineUnder(9) + 1), QPoint(kDataRight, 623)),
                          qRgb(0, 0, 0)));
    EXPECT_EQ(component<QLineEdit>(*form, "Ed1").text(), "前のレース");
}

TEST_F(ScheduleGrid, RowLinesRuleAndTextLieWhereTheDesignPutsThem) {
    const QImage upper = upperArea();
    EXPECT_TRUE(allPixels(upper, QRect(164, 186, 820, 1), qRgb(255, 255, 255)));
    EXPECT_TRUE(allPixels(upper, QRect(kDataLeft, 186, 164 - kDataLeft, 1), qRgb(0, 0, 0)));
    for (int row = 1; row <= 9; ++row) {
        // Silver from the first data column to the last, never crossed by text.
        EXPECT_TRUE(allPixels(
            upper, QRect(QPoint(kDataLeft, lineUnder(row)), QPoint(kDataRight, lineUnder(row))),
            qRgb(192, 192, 192)))
            << row;
        EXPECT_TRUE(anyPixel(upper, cellOf(row, 150, 296), isYellow)) << "start, row " << row;
        EXPECT_FALSE(anyPixel(upper, cellOf(row, 143, 144), isYellow)) << "start cut, row " << row;
        EXPECT_TRUE(anyPixel(upper, cellOf(row, 323, 472), isYellow)) << "end, row " << row;
        EXPECT_TRUE(anyPixel(upper, titleCell(row), isYellow)) << "title, row " << row;
        EXPECT_FALSE(anyPixel(upper, cellOf(row, 473, 484), isYellow)) << "spacer, row " << row;
    }
}

TEST_F(ScheduleGrid, FixedCellsAreBlackEvenUnderTheirLines) {
    const QImage grid = gridView().grab().toImage();
    const QPoint viewport = gridView().viewport()->pos();
    const QRect titleRow(viewport.x(), 2, 852, viewport.y() - 2);
    EXPECT_TRUE(allPixels(grid, titleRow, qRgb(0, 0, 0)));
    for (int row = 1; row <= 9; ++row) {
        const int line = viewport.y() + kPitch * row - 1;
        EXPECT_TRUE(allPixels(grid, QRect(2, line, 11, 1), qRgb(0, 0, 0))) << row;
        EXPECT_EQ(QColor(grid.pixel(viewport.x() + 1, line)), QColor(192, 192, 192)) << row;
    }
}

TEST_F(ScheduleGrid, FortyByteTitleIsCutAtTheTitleColumnsEdge) {
    const QImage upper = upperArea();
    EXPECT_TRUE(anyPixel(
        upper, QRect(QPoint(kDataRight - 6, rowTop(3) + 10), QPoint(kDataRight, rowTop(3) + 30)),
        isYellow));
    EXPECT_TRUE(allPixels(upper,
                          QRect(QPoint(kDataRight + 1, rowTop(3)), QPoint(987, lineUnder(3) - 1)),
                          qRgb(0, 0, 0)));
}

TEST_F(ScheduleGrid, OnlyAClickedCellIsHighlightedAndItReturnsToRowOneAtTheNextRefresh) {
    const auto isHighlight = [this](QRgb pixel) { return QColor(pixel) == highlight(); };
    const QRect rows(QPoint(kDataLeft, rowTop(1)), QPoint(kDataRight, lineUnder(9)));
    EXPECT_FALSE(anyPixel(upperArea(), rows, isHighlight));

    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    click(2, 4);
    ASSERT_TRUE(gridView().hasFocus());
    EXPECT_EQ(gridView().currentIndex(), gridRows(*form).index(2, 4));
    EXPECT_TRUE(anyPixel(upperArea(), titleCell(3), isHighlight));
    EXPECT_FALSE(anyPixel(upperArea(), titleCell(1), isHighlight));
    EXPECT_FALSE(anyPixel(upperArea(), cellOf(3, kDataLeft, 296), isHighlight));

    click(2, 4);  // the current cell again, then F2 and typing: no editing
    for (Qt::Key key : {Qt::Key_F2, Qt::Key_A}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_A ? "a" : "");
        QApplication::sendEvent(&gridView(), &press);
    }
    EXPECT_TRUE(gridView().viewport()->findChildren<QWidget*>().isEmpty());

    form->Timer1Timer();
    EXPECT_EQ(gridView().currentIndex(), gridRows(*form).index(0, 4));
    EXPECT_TRUE(anyPixel(upperArea(), titleCell(1), isHighlight));
    EXPECT_FALSE(anyPixel(upperArea(), titleCell(3), isHighlight));
}

TEST_F(ScheduleGrid, RowLabelsStandBesideTheirRows) {
    struct Expected {
        const char* name;
        const char* text;
        int row;
    };
    const Expected labels[] = {
        {"Label2", "Now", 1}, {"Label5", "=>", 1},  {"Label3", "次", 2}, {"Label4", "２", 3},
        {"Label1", "３", 4},  {"Label6", "４", 5},  {"Label7", "５", 6}, {"Label9", "６", 7},
        {"Label10", "７", 8}, {"Label11", "８", 9},
    };
    for (const Expected& expected : labels) {
        const QLabel& label = component<QLabel>(*form, expected.name);
        EXPECT_EQ(label.text(), QString::fromUtf8(expected.text));
        EXPECT_EQ(label.font().pixelSize(), 45);
        const int middle = label.mapTo(&component(*form, "Panel10"), label.rect().center()).y();
        EXPECT_GE(middle, rowTop(expected.row)) << expected.text;
        EXPECT_LT(middle, lineUnder(expected.row)) << expected.text;
    }
    EXPECT_EQ(component(*form, "Label5").palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(component(*form, "Label3").palette().color(QPalette::WindowText),
              QColor(192, 192, 192));
}

TEST_F(ScheduleGrid, RowLabelsStayVisibleAboveTheCurtain) {
    writeSchedule("");
    form->Timer1Timer();
    ASSERT_TRUE(curtainShown(*form));
    const QImage upper = upperArea();
    const auto isLight = [](QRgb pixel) { return qGray(pixel) > 120; };
    const QRect now =
        component(*form, "Label2").geometry().translated(component(*form, "Panel3").pos());
    EXPECT_TRUE(anyPixel(upper, now, isLight));
    EXPECT_FALSE(anyPixel(upper, titleCell(1), isYellow));  // the races lie behind the curtain
}

}  // namespace
}  // namespace pelm::testing
