#pragma once
// The board's message boxes: the error box that every handler's failure
// ends in, and the plain notice of a failed connection. Both are modal yet
// opened without a nested event loop, so the refresh timer keeps ticking
// while they are up.

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <string>

#include "platform/cp932.h"

namespace pelm {

class ErrorReporter : public QObject {
    Q_OBJECT

public:
    /// Boxes belong to `window` and are captioned with the program's title.
    explicit ErrorReporter(QWidget* window);

    /// Shows a failure's message (CP932) with the stop icon and one OK. While
    /// a box is open, the same failure only adds to the count it shows, so an
    /// error repeating every refresh leaves one box, not a pile; a different
    /// failure takes over the box and starts its count afresh.
    void report(const Cp932& message);

    /// Shows a notice without icon, centred on the screen, with one OK that
    /// answers Enter and Esc; the same notice again leaves the open one.
    void inform(const QString& text);

    /// Closes whatever is open: its cause has gone, and nobody stands at an
    /// unattended board to press OK.
    void clear();

    QMessageBox* openBox() const { return box_; }
    int repeats() const { return repeats_; }

private:
    QMessageBox* makeBox(QMessageBox::Icon icon, const QString& text);
    void showRepeats();
    void dismiss(QPointer<QMessageBox>& box);

    QWidget* window_;
    QString title_;
    QPointer<QMessageBox> box_;
    QPointer<QMessageBox> notice_;
    QString shownMessage_;
    int repeats_ = 0;
};

}  // namespace pelm
