#pragma once
// A plain coloured panel of the board, with the caption it carries drawn
// in the window's font and colour (on the board's black, out of sight).

#include <QFrame>
#include <QRgb>
#include <QString>

namespace pelm {

class Panel : public QFrame {
    Q_OBJECT

public:
    Panel(const char* name, QRgb colour, QWidget* parent, QString caption = {});

    /// The 1-pixel raised bevel of the notice area.
    void setRaisedBevel();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

/// Makes a widget's background opaque in `colour`.
void paintBackground(QWidget& widget, QRgb colour);

}  // namespace pelm
