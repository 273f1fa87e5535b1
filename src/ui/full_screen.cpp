#include "ui/full_screen.h"

#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "ui/logo_pictures.h"

namespace pelm {

FullScreenBoard::FullScreenBoard(QWidget& board) : board_(board) {
    setObjectName("FullScreenBoard");
    setWindowTitle(board.windowTitle());
    auto* scene = new QGraphicsScene(this);
    scene->setBackgroundBrush(Qt::black);
    setScene(scene);
    setBackgroundBrush(Qt::black);
    // The view's own black background covers all it repaints: filling the
    // viewport with its palette first would cost a second fill of every
    // repainted area, at a 4K screen's size, for nothing.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignCenter);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                   QPainter::SmoothPixmapTransform);
    proxy_ = scene->addWidget(&board);
    // The board moves itself (it centres its window at the first showing);
    // wherever it goes, the view follows it.
    connect(proxy_, &QGraphicsWidget::geometryChanged, this, &FullScreenBoard::fitBoard);
    connect(&board, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
}

FullScreenBoard::~FullScreenBoard() {
    disconnect(screenSize_);
    // The proxy would delete the board with it; hand it back instead.
    disconnect(proxy_, nullptr, this, nullptr);
    proxy_->setWidget(nullptr);
}

void FullScreenBoard::showOn(QScreen* screen) {
    followScreen(screen ? screen : QGuiApplication::primaryScreen());
    // A kiosk compositor may maximize the window instead of full-screening
    // it, and on Wayland Qt draws its own title bar on any window not in the
    // full-screen state: a board with a frame would neither cover the output
    // nor look like a board.
    setWindowFlag(Qt::FramelessWindowHint);
    showFullScreen();
}

void FullScreenBoard::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    fitBoard();
}

void FullScreenBoard::closeEvent(QCloseEvent* event) {
    if (board_.isVisible() && !board_.close()) {
        event->ignore();
        return;
    }
    event->accept();
}

// The largest uniform scale at which the whole board fits, centred. The
// built-in logos are drawn again at that scale, so they show at the
// screen's own resolution.
void FullScreenBoard::fitBoard() {
    const QRectF area = proxy_->sceneBoundingRect();
    if (area.isEmpty() || viewport()->width() <= 0 || viewport()->height() <= 0) return;
    const qreal scale =
        std::min(viewport()->width() / area.width(), viewport()->height() / area.height());
    setSceneRect(area);
    setTransform(QTransform::fromScale(scale, scale));
    drawBuiltInLogosAt(board_, scale);
}

void FullScreenBoard::followScreen(QScreen* screen) {
    disconnect(screenSize_);
    screen_ = screen;
    if (!screen) return;
    setScreen(screen);
    setGeometry(screen->geometry());
    // Without a window manager nobody resizes a full-screen window when the
    // resolution changes: do it here.
    screenSize_ = connect(screen, &QScreen::geometryChanged, this,
                          [this](const QRect& geometry) { setGeometry(geometry); });
}

QScreen* screenNumbered(int number) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (number >= 0 && number < screens.size()) return screens[number];
    return QGuiApplication::primaryScreen();
}

}  // namespace pelm
