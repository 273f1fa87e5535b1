#include "ui/logo_pictures.h"

#include <QFont>
#include <QImage>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QSet>

#include "ui/layout.h"

namespace pelm {
namespace {

constexpr QRgb kNavy = qRgb(16, 32, 96);
constexpr QRgb kSky = qRgb(40, 110, 200);
constexpr QRgb kGold = qRgb(240, 200, 40);

QFont logoFont(int pixels, bool bold) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void fillBackdrop(QPainter& painter, const QRect& area) {
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(kSky));
    sky.setColorAt(1, QColor(kNavy));
    painter.fillRect(area, sky);
}

// A chequered flag of `cells` × `cells` squares.
void drawFlag(QPainter& painter, const QRect& area, int cells) {
    const int side = area.width() / cells;
    for (int row = 0; row < cells; ++row) {
        for (int column = 0; column < cells; ++column) {
            const QRgb colour = (row + column) % 2 ? layout::kBlack : layout::kWhite;
            painter.fillRect(area.left() + column * side, area.top() + row * side, side, side,
                             QColor(colour));
        }
    }
}

// The navy ground with its backdrop and the chequered flag, both logos' base:
// `size` in layout pixels, drawn with `scale` device pixels to each.
QImage flagOnNavy(QSize size, qreal scale, QRect flag, int squares) {
    QImage image((QSizeF(size) * scale).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(kNavy));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    fillBackdrop(painter, QRect(QPoint(), size));
    drawFlag(painter, flag, squares);
    return image;
}

QSet<qint64>& builtInKeys() {
    static QSet<qint64> keys;
    return keys;
}

// Remembered, so a built-in logo can be told from a picture loaded in its place.
QPixmap builtIn(const QImage& image) {
    QPixmap picture = QPixmap::fromImage(image);
    builtInKeys().insert(picture.cacheKey());
    return picture;
}

// Draws `label`'s built-in logo again at `scale`; a loaded picture stays.
void redraw(QLabel* label, QPixmap (*draw)(qreal), qreal scale) {
    if (!label || !isBuiltInLogo(label->pixmap())) return;
    if (qFuzzyCompare(label->pixmap().devicePixelRatio(), scale)) return;
    label->setPixmap(draw(scale));
}

}  // namespace

QPixmap largeLogo(qreal scale) {
    QImage image = flagOnNavy(layout::kLargeLogo, scale, QRect(12, 14, 48, 48), 6);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 76, 220, 4), QColor(kGold));
    painter.setPen(QColor(layout::kWhite));
    painter.setFont(logoFont(44, true));
    painter.drawText(QRect(68, 8, 148, 60), Qt::AlignLeft | Qt::AlignVCenter, "PELM");
    painter.setFont(logoFont(15, false));
    painter.drawText(QRect(0, 82, 220, 22), Qt::AlignCenter, "RACE DAY BOARD");
    painter.end();
    return builtIn(image);
}

QPixmap smallLogo(qreal scale) {
    QImage image = flagOnNavy(layout::kSmallLogo, scale, QRect(4, 4, 16, 16), 4);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(layout::kWhite));
    painter.setFont(logoFont(16, true));
    painter.drawText(QRect(26, 0, 90, 24), Qt::AlignLeft | Qt::AlignVCenter, "PELM");
    painter.fillRect(QRect(26, 21, 88, 2), QColor(kGold));
    painter.end();
    return builtIn(image);
}

bool isBuiltInLogo(const QPixmap& picture) {
    return !picture.isNull() && builtInKeys().contains(picture.cacheKey());
}

void drawBuiltInLogosAt(QWidget& board, qreal scale) {
    redraw(board.findChild<QLabel*>("Image2"), largeLogo, scale);
    redraw(board.findChild<QLabel*>("Image1"), smallLogo, scale);
}

}  // namespace pelm
