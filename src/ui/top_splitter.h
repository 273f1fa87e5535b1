#pragma once
// Splitter1: the bar under the upper area. Dragging it shows a hatched line
// where the border would go; releasing moves the border there, Esc cancels.
// The bar lies directly under the upper area, so its top is that area's
// height.

#include <QWidget>

namespace pelm {

class TopSplitter : public QWidget {
    Q_OBJECT

public:
    explicit TopSplitter(QWidget* window);

    bool isDragging() const { return line_ != nullptr; }

signals:
    /// The upper area's new height after a drag.
    void moved(int upperHeight);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int heightAt(const QMouseEvent& event) const;
    void endDrag();

    QWidget* line_ = nullptr;  // the hatched line while a drag is on
    int pressY_ = 0;           // in the window's coordinates
    int startHeight_ = 0;
};

}  // namespace pelm
