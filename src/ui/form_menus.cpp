// Form1's two pop-up menus: the clock's font choice and the large logo's
// picture command.

#include <QFileDialog>
#include <QMenu>

#include "engine/time_text.h"
#include "platform/codepage.h"
#include "ui/Umain.h"
#include "ui/clock_font.h"
#include "ui/logo_switch.h"

namespace pelm {
namespace {

constexpr char kLogoFilter[] = "BMP (*.bmp);;JPG (*.jpg)";

QMenu* popUpMenu(const char* name, QWidget* owner) {
    auto* menu = new QMenu(owner);
    menu->setObjectName(name);
    return menu;
}

// A right click on `widget` (or on a child that leaves it unanswered) pops
// up `menu` where the click was.
void offerMenu(QWidget* widget, QMenu* menu) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, menu,
                     [widget, menu](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
}

}  // namespace

void TForm1::createPopupMenus() {
    FD1 = new ClockFontDialog(this);
    FD1->setObjectName("FD1");
    PopupMenu2 = popUpMenu("PopupMenu2", this);
    N1 = PopupMenu2->addAction(QStringLiteral("フォント"), this, &TForm1::N1Click);
    N1->setObjectName("N1");
    offerMenu(Labtime, PopupMenu2);
    PopupMenu1 = popUpMenu("PopupMenu1", this);
    chimg = PopupMenu1->addAction(QStringLiteral("選択"), this, &TForm1::chimgClick);
    chimg->setObjectName("chimg");
    offerMenu(Panel7, PopupMenu1);
    offerMenu(Image2, PopupMenu1);
}

void TForm1::N1Click() {
    const QColor shown = clockColor(*Labtime);
    FD1->setPreviewTexts(
        {fromCp932(timeText(clock_)), fromCp932(settings().setuzoku), fromCp932(settings().taiki)});
    FD1->prepare(Labtime->font(), shown);
    if (FD1->exec() != QDialog::Accepted) return;
    const QColor color = FD1->colorChanged() ? FD1->color() : shown;
    QFont chosen = FD1->font();
    keepClockFont(settings(), chosen, color);
    chosen.setPointSize(settings().size);  // as kept: a size the clock cannot show is not shown
    showClockFont(*Labtime, chosen, color);
    for (SettingKey key : {SettingKey::Font, SettingKey::Size, SettingKey::Color})
        life_.settingChanged(key);
}

void TForm1::chimgClick() {
    const QString path = QFileDialog::getOpenFileName(this, {}, {}, kLogoFilter);
    if (!path.isEmpty()) loadLargeLogo(path);
}

bool TForm1::loadLargeLogo(const QString& path) {
    const QImage picture = readLogoPicture(path);
    if (picture.isNull()) {
        errors_->report(unreadablePictureMessage(path));
        return false;
    }
    Image2->setPixmap(QPixmap::fromImage(picture));
    settings().logo = toCp932(path);
    life_.settingChanged(SettingKey::Logo);
    return true;
}

}  // namespace pelm
