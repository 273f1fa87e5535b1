#pragma once
// Labtime: the wall clock's text, drawn as a label sized to its text draws
// it, but repainted only from the first character that changed. A second
// costs the seconds' digits, not the whole clock: on a 4K screen, or one
// that a small computer fills in software, that is most of what an idle
// board costs.

#include <QString>
#include <QWidget>

namespace pelm {

class ClockFace : public QWidget {
    Q_OBJECT

public:
    ClockFace(const QString& text, QWidget* parent);

    QString text() const { return text_; }
    /// Shows `text` and takes the size of it; repaints what changed.
    void setText(const QString& text);

    /// The text's size in the clock's font, as a plain label measures it.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect changedInk(const QString& before, const QString& after) const;

    QString text_;
};

}  // namespace pelm
