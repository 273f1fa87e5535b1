// The board hosted full screen: at each screen size the designed window is
// scaled uniformly, centred on black, and the places that define the design
// (the white rule, the row lines at the scaled pitch, the yellow times, the
// clock's colour) are found where the scale puts them; the built-in logos
// are drawn again at that scale, a loaded picture is not.

#include "ui/full_screen.h"

#include <QImage>
#include <QLabel>
#include <cmath>
#include <functional>

#include "board_fixture.h"
#include "ui/layout.h"
#include "ui/logo_pictures.h"

namespace pelm::testing {
namespace {

// Design pixels to screen pixels, and where the board lies in the view, as
// the view's own transform and scene say.
qreal boardScale(const FullScreenBoard& view) {
    return view.transform().m11();
}

QRect boardArea(const FullScreenBoard& view) {
    return view.mapFromScene(view.sceneRect()).boundingRect();
}

bool isBlack(QRgb pixel) {
    return qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
}
bool isYellow(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) < 80;
}
bool isWhite(QRgb pixel) {
    return qRed(pixel) > 235 && qGreen(pixel) > 235 && qBlue(pixel) > 235;
}
// Silver, or the grey a scaled 1-pixel silver line leaves on black at its
// anti-aliased edges.
bool isSilver(QRgb pixel) {
    return qRed(pixel) >= 48 && qRed(pixel) <= 200 && std::abs(qRed(pixel) - qGreen(pixel)) < 3 &&
           std::abs(qGreen(pixel) - qBlue(pixel)) < 3;
}
bool isClockBlue(QRgb pixel) {
    return std::abs(qRed(pixel) - 82) < 6 && std::abs(qGreen(pixel) - 113) < 6 &&
           std::abs(qBlue(pixel) - 235) < 6;
}

int countPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test) {
    int count = 0;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) count += test(image.pixel(x, y));
    }
    return count;
}

class FullScreenBoardTest : public BoardTest {
protected:
    static std::string time(int minutes) {
        return std::to_string(minutes / 60) + ":" + (minutes % 60 < 10 ? "0" : "") +
               std::to_string(minutes % 60) + ":00";
    }
    void SetUp() override {
        writeSettings();
        std::string day;  // more races than rows, so every row has its line
        for (int race = 0; race < 12; ++race) {
            const int start = 10 * 60 + 30 + 20 * race;
            day += time(start) + "," + time(start + 20) + ",第" + std::to_string(race + 1) +
                   "レース\r\n";
        }
        writeSchedule(day);
        life = std::make_unique<BoardLife>(clock);
        form = std::make_unique<TForm1>(*life);
        view = std::make_unique<FullScreenBoard>(*form);
    }
    void TearDown() override {
        view.reset();
        BoardTest::TearDown();
    }

    QImage showAt(QSize screen) {
        view->resize(screen);
        view->show();
        form->show();
        form->Timer1Timer();
        settle();
        return view->grab().toImage();
    }

    // A design rectangle of the window, where the view shows it.
    QRect onScreen(const QRectF& design) const {
        const QRect area = boardArea(*view);
        const qreal s = boardScale(*view);
        return QRectF(area.left() + design.left() * s, area.top() + design.top() * s,
                      design.width() * s, design.height() * s)
            .toAlignedRect();
    }
    // A horizontal design line at y, from x0 to x1, with a pixel of slack
    // above and below for the scaled line's anti-aliased edges.
    QRect lineOnScreen(int y, int x0, int x1) const {
        return onScreen(QRectF(x0, y, x1 - x0, 1)).adjusted(0, -1, 0, 1);
    }

    std::unique_ptr<FullScreenBoard> view;
};

TEST_F(FullScreenBoardTest, TheDesignIsScaledToFitCentredOnBlackAtEachSize) {
    for (const QSize screen : {QSize(1920, 1080), QSize(1280, 720), QSize(1005, 679)}) {
        const QImage shot = showAt(screen);
        const std::string size =
            std::to_string(screen.width()) + "x" + std::to_string(screen.height());
        ASSERT_EQ(shot.size(), screen) << size;

        const qreal expected = std::min(screen.width() / 1005.0, screen.height() / 679.0);
        EXPECT_NEAR(boardScale(*view), expected, 1e-9) << size;
        const QRect area = boardArea(*view);
        EXPECT_NEAR(area.height(), 679 * expected, 1.5) << size;
        EXPECT_NEAR(area.center().x(), screen.width() / 2.0, 1.5) << size;
        // The margins either side hold nothing but black.
        const QRect left(0, 0, std::max(0, area.left() - 1), screen.height());
        const QRect right(area.right() + 2, 0, screen.width() - area.right() - 2, screen.height());
        EXPECT_EQ(countPixels(shot, left, std::not_fn(isBlack)), 0) << size;
        EXPECT_EQ(countPixels(shot, right, std::not_fn(isBlack)), 0) << size;

        // The white rule under the grid's covered title row.
        EXPECT_GT(countPixels(shot, lineOnScreen(186, 300, 900), isWhite), 500 * expected) << size;
        // The silver lines under the rows at the scaled pitch, seen in the
        // always-empty spacer column, and black in the middle of each row.
        for (int row = 1; row <= 8; ++row) {
            const int line = 186 + 48 * row;
            EXPECT_GT(countPixels(shot, lineOnScreen(line, 475, 483), isSilver), 0)
                << size << " row " << row;
            EXPECT_EQ(
                countPixels(shot, onScreen(QRectF(475, line - 24, 8, 1)), std::not_fn(isBlack)), 0)
                << size << " row " << row;
        }
        // The first row's start time in yellow, inside its cell.
        EXPECT_GT(countPixels(shot, onScreen(QRectF(143, 187, 154, 47)), isYellow), 100) << size;
        // The clock in its colour, over an area that grows with the scale.
        const int clockPixels = countPixels(
            shot, onScreen(component<ClockFace>(*form, "Labtime").geometry()), isClockBlue);
        EXPECT_GT(clockPixels, 4000 * expected * expected) << size;
    }
}

TEST_F(FullScreenBoardTest, BuiltInLogosAreDrawnAtTheScaleAndALoadedPictureIsLeft) {
    showAt(QSize(1920, 1080));
    const qreal scale = boardScale(*view);
    const QLabel& smallLogo = component<QLabel>(*form, "Image1");
    QLabel& largeLogo = component<QLabel>(*form, "Image2");
    const QPixmap small = smallLogo.pixmap();
    EXPECT_TRUE(isBuiltInLogo(small));
    EXPECT_DOUBLE_EQ(small.devicePixelRatio(), scale);
    EXPECT_EQ(small.size(), (QSizeF(layout::kSmallLogo) * scale).toSize());
    EXPECT_DOUBLE_EQ(largeLogo.pixmap().devicePixelRatio(), scale);

    QPixmap loaded(60, 30);
    loaded.fill(Qt::red);
    largeLogo.setPixmap(loaded);
    EXPECT_FALSE(isBuiltInLogo(largeLogo.pixmap()));
    showAt(QSize(1280, 720));
    EXPECT_EQ(largeLogo.pixmap().size(), QSize(60, 30));
    EXPECT_DOUBLE_EQ(largeLogo.pixmap().devicePixelRatio(), 1.0);
    EXPECT_DOUBLE_EQ(smallLogo.pixmap().devicePixelRatio(), boardScale(*view));
}

TEST_F(FullScreenBoardTest, TheBoardKeepsItsDesignSizeAndRulesAndIsHandedBack) {
    showAt(QSize(1920, 1080));
    EXPECT_EQ(form->windowHeight(), 710);
    EXPECT_EQ(upperAreaHeight(*form), 676);  // no notice
    view.reset();
    EXPECT_EQ(form->parent(), nullptr);  // the view did not take the board with it
    EXPECT_EQ(form->size(), layout::kOuterSize - layout::kNominalFrame);
}

}  // namespace
}  // namespace pelm::testing
