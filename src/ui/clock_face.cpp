#include "ui/clock_face.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace pelm {
namespace {

// Where a plain label lays out its text: centred in a box of the text's
// own size, written left to right.
constexpr int kTextFlags = Qt::AlignCenter | Qt::TextForceLeftToRight;
// Pixels round a glyph's ink that its antialiased edge and the text's
// centring in its box may reach.
constexpr qreal kInkMargin = 2;

}  // namespace

ClockFace::ClockFace(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    // The text keeps its top left whatever its width, so a resize needs
    // no repaint of what stays; what the narrower text leaves is the
    // parent's to paint.
    setAttribute(Qt::WA_StaticContents);
}

void ClockFace::setText(const QString& text) {
    if (text == text_) return;
    const QRect changed = changedInk(text_, text);
    text_ = text;
    resize(sizeHint());
    // Drawn now, on its own: the second is due, and a full-screen view,
    // which merges the changes it is handed at once into one rectangle,
    // gets the digits apart from the rows that change in the same pass.
    repaint(changed);
}

QSize ClockFace::sizeHint() const {
    return fontMetrics().boundingRect(0, 0, 2000, 2000, 0, text_).size();
}

// The ink of the characters from the first that differs, old and new, where
// they stand, with a margin for antialiasing and rounding. The text starts
// at the same place whatever follows, so the characters before them stay
// where they were.
QRect ClockFace::changedInk(const QString& before, const QString& after) const {
    const auto [one, other] =
        std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    const qsizetype same = one - before.begin();
    const QFontMetricsF metrics(font());
    const QPointF pen(metrics.horizontalAdvance(before.left(same)), metrics.ascent());
    const QRectF ink =
        metrics.tightBoundingRect(before.mid(same)) | metrics.tightBoundingRect(after.mid(same));
    return ink.translated(pen)
        .adjusted(-kInkMargin, -kInkMargin, kInkMargin, kInkMargin)
        .toAlignedRect();
}

void ClockFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(rect(), kTextFlags, text_);
}

}  // namespace pelm
