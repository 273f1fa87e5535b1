// The rules the window and pelmctl share: a colour value's byte order, what
// a Logo setting asks for, and the labels beside the rows.

#include "engine/board_rules.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace pelm {
namespace {

TEST(BoardRules, ColourValuesKeepRedInTheLowByteAndIgnoreTheHighOne) {
    EXPECT_EQ(rgbOf(15429970), (Rgb{82, 113, 235}));
    EXPECT_EQ(rgbOf(255), (Rgb{255, 0, 0}));
    EXPECT_EQ(rgbOf(0x7F0000FF), (Rgb{255, 0, 0}));
    EXPECT_EQ(rgbOf(-1), (Rgb{255, 255, 255}));
    EXPECT_EQ(colorValueOf({82, 113, 235}), 15429970);
    EXPECT_EQ(colorValueOf({0, 0, 255}), 0xFF0000);
}

TEST(BoardRules, OnlyOnExactlyIsTheBuiltInLogoAndAPictureIsNamedInTheCodePage) {
    EXPECT_EQ(logoRequest(cp932Ascii("on")).kind, LogoRequest::BuiltIn);
    EXPECT_EQ(logoRequest(Cp932()).kind, LogoRequest::Hidden);
    for (const Cp932& other : {cp932Ascii("On"), cp932Ascii("off"), cp932Ascii(" on")})
        EXPECT_EQ(logoRequest(other).kind, LogoRequest::Picture);
    const LogoRequest picture = logoRequest(utf8ToCp932("C:\\ロゴ\\pelm.bmp"));
    EXPECT_EQ(picture.kind, LogoRequest::Picture);
    EXPECT_EQ(picture.picturePath, QString::fromUtf8("C:/ロゴ/pelm.bmp"));
}

TEST(BoardRules, RowLabelsReadNowThenNextThenNumbers) {
    EXPECT_EQ(rowLabel(0), "Now =>");
    EXPECT_EQ(rowLabel(1), "次");
    EXPECT_EQ(rowLabel(8), "８");
    EXPECT_EQ(kVisibleRows, 9u);
}

}  // namespace
}  // namespace pelm
