#include "ui/clock_face.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace pelm {
namespace {

// Where a plain label lays out its text: centred in a box of the text's
// own size, written left to right.
constexpr int kTextFlags = Qt::AlignCenter | Qt::TextForceLeftToRight;

}  // namespace

ClockFace::ClockFace(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    // The text keeps its top left whatever its width, so a resize needs
    // no repaint of what stays; what the narrower text leaves is the
    // parent's to paint.
    setAttribute(Qt::WA_StaticContents);
}

void ClockFace::setText(const QString& text) {
    if (text == text_) return;
    const int left = firstChange(text_, text);
    text_ = text;
    resize(sizeHint());
    // Drawn now, on its own: the second is due, and a full-screen view,
    // which merges the changes it is handed at once into one rectangle,
    // gets the digits apart from the rows that change in the same pass.
    repaint(QRect(left, 0, width() - left, height()));
}

QSize ClockFace::sizeHint() const {
    return fontMetrics().boundingRect(0, 0, 2000, 2000, 0, text_).size();
}

// Where the first character that differs starts, less what its glyph, old
// or new, reaches left of its start (a negative bearing). The text starts
// at the same place whatever follows, so the characters before it stay
// where they were.
int ClockFace::firstChange(const QString& before, const QString& after) const {
    const auto [one, other] =
        std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    const qsizetype same = one - before.begin();
    if (same == 0) return 0;
    const QFontMetricsF metrics(font());
    qreal reach = 1;  // the antialiased edge
    if (one != before.end()) reach = std::max(reach, 1 - metrics.leftBearing(*one));
    if (other != after.end()) reach = std::max(reach, 1 - metrics.leftBearing(*other));
    return std::max(
        0, static_cast<int>(std::floor(metrics.horizontalAdvance(before.left(same)) - reach)));
}

void ClockFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(rect(), kTextFlags, text_);
}

}  // namespace pelm
