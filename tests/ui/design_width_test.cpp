// Japanese at its design width: kanji keep the full width of their pixel
// size (the proportional faces' kana are narrower by design), while digits and Latin letters are
// narrow enough that times fit the columns and the clock its place.

#include <QFontMetricsF>

#include "board_fixture.h"
#include "ui/fonts.h"
#include "ui/layout.h"

namespace pelm::testing {
namespace {

TEST(DesignWidth, KanjiKeepTheirFullWidth) {
    struct Case {
        layout::FontSpec font;
        const char* text;
    };
    for (const Case& c :
         {Case{layout::kCellFont, "全日本湾岸選手権大会記念競走決勝戦第一組"},
          Case{layout::kNoticeFont, "本日晴天"}, Case{layout::kRowLabelFont, "次"},
          Case{layout::kEd1Font, "記念競走"}, Case{{layout::kMincho, 133}, "未接続"}}) {
        const QString text = QString::fromUtf8(c.text);
        const qreal each = QFontMetricsF(boardFont(c.font)).horizontalAdvance(text) / text.size();
        EXPECT_NEAR(each, c.font.pixels, 2) << c.text << " at " << c.font.pixels;
    }
}

TEST(DesignWidth, TimesAndLatinTextFitTheirPlaces) {
    struct Case {
        layout::FontSpec font;
        const char* text;
        int room;
    };
    for (const Case& c : {Case{layout::kCellFont, "10:15:25", 154 - layout::kTextRight},
                          Case{layout::kCellFont, "23:59:59", 150 - layout::kTextRight},
                          Case{layout::kRowLabelFont, "Now", 86 - 2},
                          Case{{layout::kMincho, 133}, "10:15:25", 484}}) {
        const qreal width = QFontMetricsF(boardFont(c.font)).horizontalAdvance(c.text);
        EXPECT_LE(width, c.room) << c.text << " at " << c.font.pixels;
        EXPECT_GE(width, 0.85 * c.room) << c.text << " is narrower than the design wrote it";
    }
}

TEST(DesignWidth, TheBoardsOwnWidgetsUseTheseFaces) {
    BoardLife life;
    TForm1 form(life);
    const QString title = QString::fromUtf8("全日本湾岸選手権大会記念競走決勝戦第一組");
    EXPECT_NEAR(QFontMetricsF(component(form, "DBGrid1").font()).horizontalAdvance(title) / 20, 43,
                2);
    const QWidget& clock = component(form, "Labtime");
    EXPECT_LE(clock.width(), 484);
    EXPECT_LE(clock.x() + clock.width(), layout::kPanel9.left() + 8);
}

}  // namespace
}  // namespace pelm::testing
