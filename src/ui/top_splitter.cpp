#include "ui/top_splitter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "engine/window_rules.h"
#include "ui/layout.h"
#include "ui/panel.h"

namespace pelm {
namespace {

class HatchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QBrush(QColor(layout::kDragLine), Qt::Dense4Pattern));
    }
};

}  // namespace

TopSplitter::TopSplitter(QWidget* window) : QWidget(window) {
    setObjectName("Splitter1");
    paintBackground(*this, layout::kBlack);
    setCursor(Qt::SplitVCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TopSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || isDragging()) return;
    pressY_ = mapToParent(event->position().toPoint()).y();
    startHeight_ = y();
    line_ = new HatchedLine(parentWidget());
    line_->setAttribute(Qt::WA_TransparentForMouseEvents);
    line_->setGeometry(0, startHeight_, parentWidget()->width(), kSplitterHeight);
    line_->show();
    line_->raise();
    grabKeyboard();
}

void TopSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (isDragging()) line_->move(0, heightAt(*event));
}

void TopSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!isDragging() || event->button() != Qt::LeftButton) return;
    const int height = heightAt(*event);
    endDrag();
    emit moved(height);
}

void TopSplitter::keyPressEvent(QKeyEvent* event) {
    if (isDragging() && event->key() == Qt::Key_Escape) {
        endDrag();
        return;
    }
    QWidget::keyPressEvent(event);
}

int TopSplitter::heightAt(const QMouseEvent& event) const {
    const int proposed = startHeight_ + mapToParent(event.position().toPoint()).y() - pressY_;
    return droppedUpperHeight(proposed, parentWidget()->height());
}

void TopSplitter::endDrag() {
    releaseKeyboard();
    delete line_;
    line_ = nullptr;
}

}  // namespace pelm
