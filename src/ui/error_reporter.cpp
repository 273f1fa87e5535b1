#include "ui/error_reporter.h"

#include <QCoreApplication>
#include <QScreen>

#include "engine/error_text.h"
#include "platform/codepage.h"

namespace pelm {

ErrorReporter::ErrorReporter(QWidget* window)
    : QObject(window),
      window_(window),
      title_(programTitle(QCoreApplication::applicationFilePath())) {}

void ErrorReporter::report(const Cp932& failure) {
    const QString message = fromCp932(withPeriod(failure));
    if (box_ && message == shownMessage_) {
        ++repeats_;
        showRepeats();
        return;
    }
    shownMessage_ = message;
    repeats_ = 0;
    if (box_) {
        box_->setText(message);
        box_->setInformativeText(QString());
        return;
    }
    box_ = makeBox(QMessageBox::Critical, message);
    connect(box_, &QDialog::finished, this, [this] { repeats_ = 0; });
    box_->show();
}

void ErrorReporter::clear() {
    dismiss(box_);
    dismiss(notice_);
}

// Forgotten at once, so a report that follows opens a box of its own
// rather than counting into one on its way out.
void ErrorReporter::dismiss(QPointer<QMessageBox>& box) {
    if (!box) return;
    box->done(QMessageBox::Ok);
    box->deleteLater();
    box = nullptr;
}

void ErrorReporter::inform(const QString& text) {
    if (notice_ && notice_->text() == text) return;
    dismiss(notice_);
    QMessageBox* box = makeBox(QMessageBox::NoIcon, text);
    notice_ = box;
    box->setEscapeButton(QMessageBox::Ok);
    box->adjustSize();
    QRect frame = box->frameGeometry();
    frame.moveCenter(box->screen()->geometry().center());
    box->move(frame.topLeft());
    box->show();
}

QMessageBox* ErrorReporter::makeBox(QMessageBox::Icon icon, const QString& text) {
    auto* box = new QMessageBox(icon, title_, text, QMessageBox::Ok, window_);
    box->setDefaultButton(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

void ErrorReporter::showRepeats() {
    box_->setInformativeText(
        QString("この表示中に、さらに %1 回エラーが起きました。").arg(repeats_));
}

}  // namespace pelm
