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

void ErrorReporter::report(const std::string& cp932Message) {
    if (box_) {
        ++repeats_;
        showRepeats();
        return;
    }
    box_ = makeBox(QMessageBox::Critical, fromCp932(withPeriod(cp932Message)));
    connect(box_, &QDialog::finished, this, [this] { repeats_ = 0; });
    box_->show();
}

void ErrorReporter::inform(const QString& text) {
    QMessageBox* box = makeBox(QMessageBox::NoIcon, text);
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
