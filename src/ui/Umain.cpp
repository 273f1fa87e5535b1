#include "ui/Umain.h"

#include <QCloseEvent>
#include <QDataStream>
#include <QScreen>
#include <algorithm>

#include "engine/window_rules.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/time_of_day.h"
#include "ui/clock_font.h"
#include "ui/color_ref.h"
#include "ui/fonts.h"
#include "ui/layout.h"
#include "ui/logo_switch.h"
#include "ui/rows_in_sight.h"
#include "ui/screen_picture.h"

namespace pelm {
namespace {

constexpr char kConnectionFailed[] = "データベースに接続できませんでした。";

// A board failure carries its CP932 message; anything else gives what()
// as it stands.
Cp932 messageOf(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const Error*>(&error)) return failure->message();
    return Cp932(error.what());
}

}  // namespace

TForm1::TForm1(BoardLife& life) : life_(life), clock_(life.clock()) {
    FormCreate();
}

TForm1::~TForm1() = default;

// ---- Window events ---------------------------------------------------------

void TForm1::FormCreate() {
    errors_ = new ErrorReporter(this);
    createWindow();
    createClockAndLogos();
    createGridAndCovers();
    createRowLabels();
    createPreviousRace();
    createNoticeArea();
    createPopupMenus();
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    setTabOrder(Ed1, Edt);
    setTabOrder(Edt, DBMemo1);
    Ed1->setFocus();
    Panel6->hide();
    FormResize();
}

// What follows the settings is the runner's start-up step, tried again on
// the timer until it succeeds: a share that mounts after login or a table
// locked for a moment must not leave the design's clock on screen for good.
void TForm1::FormShow() {
    life_.loadSettings();
    applyClockFont();
    beating_ = true;
    armBeat();
    if (!life_.start(*this, *this, *this, rowsInSight(Panel10->height())))
        setClockText(settings().setuzoku);
}

void TForm1::FormResize() {
    setUpperHeight(upperHeight(windowHeight(), noticeShown_));
}

bool TForm1::FormClose() {
    try {
        life_.saveSettings();
        return true;
    } catch (const std::exception& error) {
        const Cp932 message = messageOf(error);
        if (closingBySignal_) {
            qCritical("%s", cp932ToUtf8(message).c_str());
        } else {
            errors_->report(message);
        }
        return false;
    }
}

void TForm1::Timer1Timer() {
    life_.beat();
    armBeat();
}

// Re-armed from the wall clock after every beat, never repeating on its own.
void TForm1::armBeat() {
    if (beating_) Timer1->start(life_.msUntilBeat());
}

QByteArray TForm1::takePicture() {
    return ScreenPicture::take(*this, errors_->openBox());
}

// All that is on screen but the running clock: the rows in sight, the
// previous race, the notice, the curtain and an open box.
QByteArray TForm1::screenSignature() const {
    QByteArray signature;
    QDataStream out(&signature, QIODevice::WriteOnly);
    const int rows = std::min(DSmenu->rowCount(), rowsInSight(Panel10->height()));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < DSmenu->columnCount(); ++column)
            out << DSmenu->index(row, column).data().toString();
    }
    const QMessageBox* box = errors_->openBox();
    out << Ed1->text() << DBMemo1->toPlainText() << noticeShown_ << Panel6->isVisible()
        << Panel10->height() << (box ? box->text() : QString());
    return signature;
}

void TForm1::closeBySignal() {
    closingBySignal_ = true;
    close();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;  // later showings (after minimising) run nothing
    shown_ = true;
    FormShow();
    centreOnScreen();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    const bool saved = FormClose();
    if (!saved && !closingBySignal_) {
        event->ignore();
        return;
    }
    beating_ = false;
    Timer1->stop();
    errors_->clear();
    life_.stopped();
    event->accept();
    emit closed(saved ? 0 : 1);
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LocaleChange) {
        setCurrentLocaleTime(LocaleTime::fromLocale(QLocale::system()));
    }
}

// ---- What a refresh writes -------------------------------------------------

void TForm1::setClockText(const Cp932& text) {
    Labtime->setText(fromCp932(text));
}

void TForm1::setPreviousRace(const Cp932& title) {
    const QString text = fromCp932(title);
    if (text == Ed1->text()) return;
    Ed1->setText(text);
    Ed1->setCursorPosition(0);  // a title longer than the box shows its start
}

void TForm1::setCurtainVisible(bool visible) {
    Panel6->setVisible(visible);
}

void TForm1::showUpcoming(std::shared_ptr<const ResultSet> rows) {
    DSmenu->setResultSet(std::move(rows));
}

void TForm1::setNoticeText(const Cp932& text) {
    if (text == noticeText_) return;  // unchanged: keep the box as the reader left it
    noticeText_ = text;
    DBMemo1->setPlainText(fromCp932(text).replace("\r\n", "\n"));
}

void TForm1::setNoticeShown(bool shown) {
    noticeShown_ = shown;
}

// The outer height is the client height plus the frame of the desktop the
// layout was made for, not the frame of whatever window manager runs now:
// the height rule's 34 and 230 pixels only leave the notice area closed, or
// about 190 pixels high, against that frame, and real frames range from none
// (kiosk, no window manager) through the offscreen platform's 2-pixel fake to
// 40-pixel title bars.
int TForm1::windowHeight() const {
    return height() + layout::kNominalFrame.height();
}

void TForm1::setUpperHeight(int height) {
    Panel10->resize(width(), std::max(0, height));
    placeRegions();
    life_.setRowsInSight(rowsInSight(Panel10->height()));
}

void TForm1::startShowing() {
    applyLogoSwitch();
    applyClockFont();
}

// ---- What the runner reports ---------------------------------------------------

// Each failure is said once; a different one replaces what was said, so
// the connection notice and an error box never stand side by side.
void TForm1::startFailed(const Cp932& message, bool connection) {
    errors_->clear();
    if (connection) {
        errors_->inform(kConnectionFailed);
    } else {
        errors_->report(message);
    }
}

void TForm1::started() {
    errors_->clear();
}

void TForm1::refreshFailed(const Cp932& message) {
    errors_->report(message);
}

void TForm1::refreshed(const RefreshCycle&, BoardState, const std::optional<Cp932>& problem) {
    if (problem) return errors_->report(*problem);
    errors_->clear();
}

void TForm1::applyLogoSwitch() {
    const LogoChoice logo = chooseLogo(settings().logo, Image2->pixmap().toImage());
    Panel7->setVisible(logo.kind != LogoKind::Hidden);
    if (logo.kind == LogoKind::Picture) Image2->setPixmap(QPixmap::fromImage(logo.picture));
    if (logo.kind == LogoKind::Hidden) Panel9->move(layout::kPanel9LeftAlone, Panel9->y());
}

void TForm1::applyClockFont() {
    showClockFont(*Labtime, clockFont(settings()), colorFromRef(settings().color));
}

void TForm1::centreOnScreen() {
    const QRect screenArea = screen()->geometry();
    move(screenArea.left() + centredOffset(screenArea.width(), layout::kOuterSize.width()),
         screenArea.top() + centredOffset(screenArea.height(), layout::kOuterSize.height()));
}

// ---- Layout -------------------------------------------------------------------

// The three regions stack from the top: the upper area at its height, the
// splitter under it, the notice area filling what is left (nothing, when
// the upper area takes it all).
void TForm1::placeRegions() {
    const int upper = Panel10->height();
    Panel10->setGeometry(0, 0, width(), upper);
    Splitter1->setGeometry(0, upper, width(), kSplitterHeight);
    const int noticeTop = upper + kSplitterHeight;
    Panel11->setGeometry(0, noticeTop, width(), std::max(0, height() - noticeTop));
}

}  // namespace pelm
