#include "ui/font_choices.h"

#include <gtest/gtest.h>

#include <QSet>

#include "ui/color_ref.h"

namespace pelm {
namespace {

TEST(ColorRef, RedSitsInTheLowByte) {
    EXPECT_EQ(colorFromRef(255), QColor(255, 0, 0));
    EXPECT_EQ(colorFromRef(15429970), QColor(82, 113, 235));
    EXPECT_EQ(colorRef(QColor(255, 0, 0)), 255);
    EXPECT_EQ(colorRef(QColor(82, 113, 235)), 15429970);
    EXPECT_EQ(colorRef(QColor(0, 0, 255)), 0xFF0000);
}

TEST(ColorRef, TheHighByteIsIgnored) {
    EXPECT_EQ(colorFromRef(0x02000000 | 255), QColor(255, 0, 0));
    EXPECT_EQ(colorRef(colorFromRef(-1)), 0xFFFFFF);
}

TEST(FontChoices, SixteenDistinctBasicColorsFromBlackToWhite) {
    const auto& colors = basicColors();
    ASSERT_EQ(colors.size(), 16);
    EXPECT_EQ(colors.front().color, QColor(Qt::black));
    EXPECT_EQ(colors.back().color, QColor(Qt::white));
    QSet<QRgb> distinct;
    for (const auto& choice : colors) distinct.insert(choice.color.rgb());
    EXPECT_EQ(distinct.size(), 16);
    EXPECT_TRUE(isBasicColor(QColor(255, 0, 0)));
    EXPECT_FALSE(isBasicColor(colorFromRef(15429970)));
}

TEST(FontChoices, EveryStyleSurvivesARoundTrip) {
    QFont font(QStringLiteral("IPAPGothic"), 20);
    for (const auto& choice : styleChoices()) {
        QFont styled = withStyle(font, choice.style);
        EXPECT_EQ(styleOf(styled), choice.style) << choice.name.toStdString();
        EXPECT_EQ(styleOf(withStyle(styled, FontStyle::Regular)), FontStyle::Regular);
    }
}

}  // namespace
}  // namespace pelm
