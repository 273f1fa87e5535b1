#include "ui/panel.h"

#include <QPainter>

#include "ui/layout.h"

namespace pelm {

Panel::Panel(const char* name, QRgb colour, QWidget* parent, QString caption)
    : QFrame(parent), caption_(std::move(caption)) {
    setObjectName(name);
    paintBackground(*this, colour);
}

void Panel::setRaisedBevel() {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
}

void Panel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(QColor(layout::kWindowText));
    painter.drawText(rect(), Qt::AlignCenter, caption_);
}

void paintBackground(QWidget& widget, QRgb colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(colour));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

}  // namespace pelm
