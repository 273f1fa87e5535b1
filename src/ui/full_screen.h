#pragma once
// The board on a whole screen: the designed window, unchanged and still laid
// out in its own pixels, is hosted in a graphics view that scales it
// uniformly to the largest size that fits, centred on black. Everything is
// drawn through the scaled painter, so text and lines are drawn at the
// scaled size rather than stretched from a small bitmap, and the window's
// own rules (the upper area's height, the splitter) keep working in design
// units.

#include <QGraphicsView>
#include <QPointer>

class QGraphicsProxyWidget;
class QScreen;

namespace pelm {

class FullScreenBoard : public QGraphicsView {
    Q_OBJECT

public:
    /// Hosts `board`, a window not yet shown, which must outlive this view.
    /// The board keeps its own size; closing this view closes the board, and
    /// the view stays when the board refuses to close.
    explicit FullScreenBoard(QWidget& board);
    ~FullScreenBoard() override;

    /// Covers `screen` (the primary one when null) and follows its size when
    /// the screen's resolution changes.
    void showOn(QScreen* screen);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void fitBoard();
    void followScreen(QScreen* screen);

    QWidget& board_;
    QGraphicsProxyWidget* proxy_;
    QPointer<QScreen> screen_;
    QMetaObject::Connection screenSize_;
};

/// Screen `number` (counted from 0) of the running application, or the
/// primary screen when there is no such screen.
QScreen* screenNumbered(int number);

}  // namespace pelm
