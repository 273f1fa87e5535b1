#include "ui/clock_font.h"

#include <QWidget>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "engine/window_rules.h"
#include "platform/codepage.h"
#include "ui/color_ref.h"
#include "ui/fonts.h"

namespace pelm {

int clockPoints(const QFont& font) {
    if (font.pointSize() > 0) return font.pointSize();
    return designPoints(font.pixelSize());
}

QFont onDesignScreen(QFont font) {
    font.setPixelSize(designPixels(clockPoints(font)));
    return font;
}

QFont shownOnClock(const QFont& font) {
    // Set even when plain: a stretch left unset is taken from the window's
    // own font, which may be narrowed for its face, not the clock's. "Any",
    // not "100": a face condensed by design stays as it was drawn.
    QFont shown = onDesignScreen(font);
    shown.setStretch(QFont::AnyStretch);
    return atDesignMeasure(shown);
}

QColor clockColor(const QWidget& clock) {
    return clock.palette().color(QPalette::WindowText);
}

void showClockFont(QWidget& clock, const QFont& font, const QColor& color) {
    clock.setFont(shownOnClock(font));
    QPalette palette = clock.palette();
    palette.setColor(QPalette::WindowText, color);
    clock.setPalette(palette);
    clock.adjustSize();
}

void keepClockFont(BoardSettings& settings, const QFont& font, const QColor& color) {
    settings.font = toCp932(font.family());
    settings.size = clockPointsInRange(clockPoints(font));
    settings.color = colorRef(color);
}

}  // namespace pelm
