#pragma once
// The clock's face, size and colour: onto the clock label, and from a font
// choice into the settings. Sizes in points are read on the 96-dpi screen
// the board was laid out for, as when the clock gets its font at start.

#include <QColor>
#include <QFont>

#include "engine/board_settings.h"

class QWidget;

namespace pelm {

/// A font's size in points; a size set in pixels is read at 96 dpi.
int clockPoints(const QFont& font);

/// The font with its size in pixels at 96 dpi, as the clock shows it.
QFont onDesignScreen(QFont font);

/// The font as the clock draws it: at 96 dpi, and narrowed to the design's
/// measure only when its face is one the layout was drawn with.
QFont shownOnClock(const QFont& font);

/// The clock's text colour.
QColor clockColor(const QWidget& clock);

/// Shows the clock in this font and colour. The label keeps its left and top
/// and is sized to its text, so a larger font widens and heightens it.
void showClockFont(QWidget& clock, const QFont& font, const QColor& color);

/// Keeps face, size and colour in the settings. Bold and italic are not
/// kept: the settings have no place for them.
void keepClockFont(BoardSettings& settings, const QFont& font, const QColor& color);

}  // namespace pelm
