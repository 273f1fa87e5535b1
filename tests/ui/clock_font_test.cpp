#include "ui/clock_font.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "ui/clock_face.h"

namespace pelm {
namespace {

TEST(ClockFont, PointsAndDesignPixelsConvertBothWays) {
    QFont font(QStringLiteral("IPAPMincho"));
    font.setPixelSize(133);
    EXPECT_EQ(clockPoints(font), 100);
    for (auto [points, pixels] : {std::pair{100, 133}, {72, 96}, {10, 13}, {1, 1}}) {
        EXPECT_EQ(onDesignScreen(QFont(QStringLiteral("IPAPMincho"), points)).pixelSize(), pixels);
    }
    // Whatever size the operator picks comes back from the clock unchanged.
    for (int points = 1; points <= 999; ++points) {
        ASSERT_EQ(clockPoints(onDesignScreen(QFont(QStringLiteral("IPAPMincho"), points))), points);
    }
}

TEST(ClockFont, KeepsFaceSizeAndColour) {
    BoardSettings settings;
    QFont font(QStringLiteral("IPAPGothic"), 72);
    font.setBold(true);
    keepClockFont(settings, font, QColor(255, 0, 0));
    EXPECT_EQ(settings.font, cp932Ascii("IPAPGothic"));
    EXPECT_EQ(settings.size, 72);
    EXPECT_EQ(settings.color, 255);
}

TEST(ClockFont, APixelSizedFontIsKeptInPoints) {
    BoardSettings settings;
    QFont font(QStringLiteral("IPAPMincho"));
    font.setPixelSize(96);
    keepClockFont(settings, font, QColor(0, 0, 255));
    EXPECT_EQ(settings.size, 72);
    EXPECT_EQ(settings.color, 0xFF0000);
}

TEST(ClockFont, AJapaneseFaceIsKeptInCp932) {
    BoardSettings settings;
    keepClockFont(settings, QFont(QStringLiteral("ＭＳ Ｐゴシック"), 12), QColor(0, 0, 0));
    EXPECT_EQ(settings.font.bytes(),
              "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e");
}

TEST(ClockFont, TheLabelGrowsFromItsTopLeft) {
    QWidget panel;
    ClockFace clock(QStringLiteral("10:15:25"), &panel);
    clock.move(232, 0);
    showClockFont(clock, QFont(QStringLiteral("IPAPMincho"), 72), QColor(0, 0, 255));
    QSize at72 = clock.size();
    showClockFont(clock, QFont(QStringLiteral("IPAPMincho"), 100), QColor(255, 0, 0));
    EXPECT_EQ(clock.pos(), QPoint(232, 0));
    EXPECT_GT(clock.width(), at72.width());
    EXPECT_GT(clock.height(), at72.height());
    EXPECT_EQ(clock.font().pixelSize(), 133);
    EXPECT_EQ(clockColor(clock), QColor(255, 0, 0));
}

TEST(ClockFont, TheBoardsFaceKeepsTheDesignWidth) {
    QWidget panel;
    ClockFace clock(QStringLiteral("10:15:25"), &panel);
    showClockFont(clock, QFont(QStringLiteral("ＭＳ Ｐ明朝"), 100), QColor(0, 0, 255));
    EXPECT_LE(clock.width(), 484);  // the design's width of the clock, or a little inside it
    EXPECT_GE(clock.width(), 460);
}

TEST(ClockFont, TheLabelShrinksWithASmallerFont) {
    QWidget panel;
    ClockFace clock(QStringLiteral("10:15:25"), &panel);
    clock.move(232, 0);
    showClockFont(clock, QFont(QStringLiteral("IPAPMincho"), 100), QColor(0, 0, 255));
    QSize at100 = clock.size();
    showClockFont(clock, QFont(QStringLiteral("IPAPMincho"), 20), QColor(0, 0, 255));
    EXPECT_LT(clock.width(), at100.width());
    EXPECT_LT(clock.height(), at100.height());
    EXPECT_EQ(clock.pos(), QPoint(232, 0));
}

}  // namespace
}  // namespace pelm
