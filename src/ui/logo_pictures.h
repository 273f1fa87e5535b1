#pragma once
// The board's two built-in logo pictures, drawn here rather than loaded, at
// the sizes their places were made for: at any scale, `scale` device pixels
// to a layout pixel, so a board scaled to a large screen shows them at that
// screen's resolution.

#include <QPixmap>

class QWidget;

namespace pelm {

QPixmap largeLogo(qreal scale = 1);  // Image2, 220 × 106 layout pixels
QPixmap smallLogo(qreal scale = 1);  // Image1, 118 × 24 layout pixels

/// True for a picture drawn here, false for one loaded from a file.
bool isBuiltInLogo(const QPixmap& picture);

/// Draws the built-in logos shown on `board` (its pictures Image1 and
/// Image2) again at `scale`; a picture loaded in their place is left as it is.
void drawBuiltInLogosAt(QWidget& board, qreal scale);

}  // namespace pelm
