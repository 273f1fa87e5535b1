#pragma once
// What the clock's font dialog offers besides the installed faces: the four
// styles, the usual sizes and the sixteen basic colours.

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

#include "engine/board_settings.h"

namespace pelm {

enum class FontStyle { Regular, Italic, Bold, BoldItalic };

struct StyleChoice {
    FontStyle style;
    QString name;
};

struct ColorChoice {
    QColor color;
    QString name;
};

/// The styles in the order the dialog lists them.
const QList<StyleChoice>& styleChoices();

/// The point sizes listed; any other whole size can be typed.
const QList<int>& sizeChoices();

/// The smallest and largest size the dialog accepts, in points.
inline constexpr int kMinFontSize = kMinClockPoints;
inline constexpr int kMaxFontSize = kMaxClockPoints;

/// The sixteen basic colours, black to white.
const QList<ColorChoice>& basicColors();

/// True when `color` is one of the basic colours.
bool isBasicColor(const QColor& color);

FontStyle styleOf(const QFont& font);
QFont withStyle(QFont font, FontStyle style);

}  // namespace pelm
