#include "ui/screen_picture.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace pelm {
namespace {

// Zlib's quicker levels: the picture is a few tens of kilobytes either way,
// and the encoding runs on the window's thread.
constexpr int kPngQuality = 70;

void drawInto(QPainter& painter, QWidget& widget) {
    widget.render(&painter, QPoint(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
}

}  // namespace

// A clock set back counts as due in both, or the picture would stand still.
bool ScreenPicture::lookNow(qint64 nowMs) {
    if (lookedMs_ && nowMs >= *lookedMs_ && nowMs - *lookedMs_ < kLookEveryMs) return false;
    lookedMs_ = nowMs;
    return true;
}

bool ScreenPicture::due(const QByteArray& screen, qint64 nowMs) const {
    return !screen_ || *screen_ != screen || nowMs - takenMs_ >= kMaxAgeMs || nowMs < takenMs_;
}

void ScreenPicture::taken(const QByteArray& screen, qint64 nowMs) {
    screen_ = screen;
    takenMs_ = nowMs;
}

QByteArray ScreenPicture::take(QWidget& window, QWidget* box) {
    // Drawn straight at the picture's size: half the cost of a full-size
    // grab scaled down afterwards.
    const qreal scale = qreal(kWidth) / std::max(1, window.width());
    QImage picture(kWidth, std::max(1, qRound(window.height() * scale)), QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    drawInto(painter, window);
    if (box && box->isVisible()) {
        painter.translate((window.width() - box->width()) / 2,
                          (window.height() - box->height()) / 2);
        drawInto(painter, *box);
    }
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG", kPngQuality);
    return png;
}

}  // namespace pelm
