#include "ui/font_choices.h"

#include <algorithm>

namespace pelm {

const QList<StyleChoice>& styleChoices() {
    static const QList<StyleChoice> styles = {
        {FontStyle::Regular, QStringLiteral("標準")},
        {FontStyle::Italic, QStringLiteral("斜体")},
        {FontStyle::Bold, QStringLiteral("太字")},
        {FontStyle::BoldItalic, QStringLiteral("太字 斜体")},
    };
    return styles;
}

const QList<int>& sizeChoices() {
    // Up to the largest size the clock shows whole.
    static const QList<int> sizes = {8,  9,  10, 11, 12, 14, 16, 18, 20,
                                     22, 24, 26, 28, 36, 48, 72, 100};
    return sizes;
}

const QList<ColorChoice>& basicColors() {
    static const QList<ColorChoice> colors = {
        {QColor(0, 0, 0), QStringLiteral("黒")},
        {QColor(128, 0, 0), QStringLiteral("マルーン")},
        {QColor(0, 128, 0), QStringLiteral("緑")},
        {QColor(128, 128, 0), QStringLiteral("オリーブ")},
        {QColor(0, 0, 128), QStringLiteral("ネイビー")},
        {QColor(128, 0, 128), QStringLiteral("紫")},
        {QColor(0, 128, 128), QStringLiteral("ティール")},
        {QColor(128, 128, 128), QStringLiteral("灰色")},
        {QColor(192, 192, 192), QStringLiteral("シルバー")},
        {QColor(255, 0, 0), QStringLiteral("赤")},
        {QColor(0, 255, 0), QStringLiteral("ライム")},
        {QColor(255, 255, 0), QStringLiteral("黄")},
        {QColor(0, 0, 255), QStringLiteral("青")},
        {QColor(255, 0, 255), QStringLiteral("フクシア")},
        {QColor(0, 255, 255), QStringLiteral("水色")},
        {QColor(255, 255, 255), QStringLiteral("白")},
    };
    return colors;
}

bool isBasicColor(const QColor& color) {
    const auto& colors = basicColors();
    return std::any_of(colors.begin(), colors.end(),
                       [&](const ColorChoice& choice) { return choice.color == color; });
}

FontStyle styleOf(const QFont& font) {
    if (font.bold()) return font.italic() ? FontStyle::BoldItalic : FontStyle::Bold;
    return font.italic() ? FontStyle::Italic : FontStyle::Regular;
}

QFont withStyle(QFont font, FontStyle style) {
    font.setBold(style == FontStyle::Bold || style == FontStyle::BoldItalic);
    font.setItalic(style == FontStyle::Italic || style == FontStyle::BoldItalic);
    return font;
}

}  // namespace pelm
