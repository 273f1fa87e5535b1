#include "ui/idle_cursor.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>

namespace pelm {

IdleCursor::IdleCursor(std::chrono::milliseconds after, QObject* parent) : QObject(parent) {
    idle_.setSingleShot(true);
    idle_.setInterval(after);
    connect(&idle_, &QTimer::timeout, this, &IdleCursor::hide);
    QCoreApplication::instance()->installEventFilter(this);
    idle_.start();
}

IdleCursor::~IdleCursor() {
    show();
}

bool IdleCursor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::HoverMove || type == QEvent::Enter) {
        show();
        idle_.start();
    }
    return QObject::eventFilter(watched, event);
}

// An override cursor wins over every widget's own (the edit boxes' I-beam),
// and there is only ever one of ours on the stack.
void IdleCursor::hide() {
    if (hidden_) return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    hidden_ = true;
}

void IdleCursor::show() {
    if (!hidden_) return;
    QGuiApplication::restoreOverrideCursor();
    hidden_ = false;
}

}  // namespace pelm
