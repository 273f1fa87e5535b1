#include "ui/clock_font_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/clock_font.h"

namespace pelm {

namespace {

// The board's own background, so a colour is judged where it will show.
const QColor kPreviewBackground(0, 0, 0);
constexpr int kListHeight = 120;

QIcon swatch(const QColor& color) {
    QPixmap pixmap(24, 14);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QLabel* buddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

// A column of the classic dialog: its caption, the entry above, the list below.
void stackColumn(QWidget* column, const QString& caption, QWidget* buddy, QLineEdit* entry,
                 QListWidget* list) {
    list->setMinimumHeight(kListHeight);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buddyLabel(caption, buddy));
    layout->addWidget(entry);
    layout->addWidget(list);
}

}  // namespace

ClockFontDialog::ClockFontDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("フォント"));
    auto* columns = new QHBoxLayout;
    for (auto build : {&ClockFontDialog::buildFaceColumn, &ClockFontDialog::buildStyleColumn,
                       &ClockFontDialog::buildSizeColumn}) {
        auto* column = new QWidget;
        (this->*build)(column);
        columns->addWidget(column, build == &ClockFontDialog::buildFaceColumn ? 3 : 1);
    }
    auto* lower = new QHBoxLayout;
    lower->addWidget(buildColorRow(), 0, Qt::AlignTop);
    lower->addWidget(buildPreview(), 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(lower);
    layout->addWidget(buttons);
    setPreviewTexts(
        {QStringLiteral("10:15:25"), QStringLiteral("未接続"), QStringLiteral("待機中")});
}

void ClockFontDialog::buildFaceColumn(QWidget* column) {
    faceEdit_ = new QLineEdit;
    faces_ = new QListWidget;
    faces_->addItems(QFontDatabase::families());
    connect(faceEdit_, &QLineEdit::textEdited, this, &ClockFontDialog::faceTyped);
    connect(faces_, &QListWidget::currentTextChanged, this, &ClockFontDialog::chooseFamily);
    stackColumn(column, QStringLiteral("フォント名(&F):"), faceEdit_, faceEdit_, faces_);
}

void ClockFontDialog::buildStyleColumn(QWidget* column) {
    styleEdit_ = new QLineEdit;
    styleEdit_->setReadOnly(true);
    styles_ = new QListWidget;
    for (const auto& choice : styleChoices()) styles_->addItem(choice.name);
    connect(styles_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) chooseStyle(styleChoices()[row].style);
    });
    stackColumn(column, QStringLiteral("スタイル(&Y):"), styles_, styleEdit_, styles_);
}

void ClockFontDialog::buildSizeColumn(QWidget* column) {
    sizeEdit_ = new QLineEdit;
    sizeEdit_->setValidator(new QIntValidator(kMinFontSize, kMaxFontSize, sizeEdit_));
    sizes_ = new QListWidget;
    for (int size : sizeChoices()) sizes_->addItem(QString::number(size));
    connect(sizeEdit_, &QLineEdit::textEdited, this, &ClockFontDialog::sizeTyped);
    connect(sizes_, &QListWidget::currentTextChanged, this, &ClockFontDialog::sizeTyped);
    stackColumn(column, QStringLiteral("サイズ(&S):"), sizeEdit_, sizeEdit_, sizes_);
}

QWidget* ClockFontDialog::buildColorRow() {
    colors_ = new QComboBox;
    colors_->setObjectName(QStringLiteral("colors"));
    connect(colors_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) chooseColor(colors_->itemData(index).value<QColor>());
    });
    auto* group = new QGroupBox(QStringLiteral("文字飾り"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(buddyLabel(QStringLiteral("色(&C):"), colors_));
    layout->addWidget(colors_);
    return group;
}

QWidget* ClockFontDialog::buildPreview() {
    auto* lines = new QWidget;
    lines->setAutoFillBackground(true);
    QPalette palette = lines->palette();
    palette.setColor(QPalette::Window, kPreviewBackground);
    lines->setPalette(palette);
    previewLines_ = new QVBoxLayout(lines);
    auto* scroll = new QScrollArea;
    scroll->setWidget(lines);
    scroll->setWidgetResizable(true);
    scroll->setMinimumSize(460, 300);
    auto* group = new QGroupBox(QStringLiteral("サンプル"));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(scroll);
    return group;
}

void ClockFontDialog::setPreviewTexts(const QStringList& texts) {
    while (QLayoutItem* item = previewLines_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& text : texts) {
        auto* line = new QLabel(text);
        line->setObjectName(QStringLiteral("previewLine"));
        previewLines_->addWidget(line);
    }
    previewLines_->addStretch();
    updatePreview();
}

void ClockFontDialog::prepare(const QFont& font, const QColor& color) {
    font_ = font;
    font_.setPointSize(clockPoints(font));
    // The clock's narrowing belongs to its face; a new face must not inherit
    // it, and the clock narrows whatever comes back as it needs.
    font_.setStretch(QFont::AnyStretch);
    color_ = preparedColor_ = color.toRgb();
    fillColors();
    chooseFamily(font_.family());
    chooseStyle(styleOf(font_));
    choosePointSize(font_.pointSize());
    // Typing a face replaces the one shown, as a search.
    faceEdit_->setFocus();
    faceEdit_->selectAll();
}

void ClockFontDialog::fillColors() {
    QSignalBlocker blocker(colors_);
    colors_->clear();
    for (const auto& choice : basicColors()) {
        colors_->addItem(swatch(choice.color), choice.name, choice.color);
    }
    if (!isBasicColor(preparedColor_)) {
        colors_->addItem(swatch(preparedColor_), QStringLiteral("カスタム"), preparedColor_);
    }
    colors_->setCurrentIndex(colors_->findData(color_));
}

void ClockFontDialog::chooseFamily(const QString& family) {
    if (family.isEmpty()) return;
    QSignalBlocker blocker(faces_);
    auto found = faces_->findItems(family, Qt::MatchFixedString);
    QListWidgetItem* item = found.isEmpty() ? nullptr : found.first();
    if (!item) {
        // A substituted face such as the board's default is no installed
        // family, yet keeping it must not change the stored name.
        faces_->insertItem(0, family);
        item = faces_->item(0);
    }
    faces_->setCurrentItem(item);
    faces_->scrollToItem(item);
    faceEdit_->setText(item->text());
    font_.setFamily(item->text());
    updatePreview();
}

void ClockFontDialog::faceTyped(const QString& text) {
    auto found = faces_->findItems(text, Qt::MatchStartsWith);
    if (text.isEmpty() || found.isEmpty()) return;
    QSignalBlocker blocker(faces_);
    faces_->setCurrentItem(found.first());
    faces_->scrollToItem(found.first());
    font_.setFamily(found.first()->text());
    updatePreview();
}

void ClockFontDialog::chooseStyle(FontStyle style) {
    const auto& choices = styleChoices();
    for (int row = 0; row < choices.size(); ++row) {
        if (choices[row].style != style) continue;
        QSignalBlocker blocker(styles_);
        styles_->setCurrentRow(row);
        styleEdit_->setText(choices[row].name);
    }
    font_ = withStyle(font_, style);
    updatePreview();
}

void ClockFontDialog::sizeTyped(const QString& text) {
    bool ok = false;
    int points = text.toInt(&ok);
    if (ok) choosePointSize(points);
}

void ClockFontDialog::choosePointSize(int points) {
    if (points < kMinFontSize || points > kMaxFontSize) return;
    QString text = QString::number(points);
    if (sizeEdit_->text() != text) sizeEdit_->setText(text);
    QSignalBlocker blocker(sizes_);
    auto found = sizes_->findItems(text, Qt::MatchExactly);
    sizes_->setCurrentItem(found.isEmpty() ? nullptr : found.first());
    if (!found.isEmpty()) sizes_->scrollToItem(found.first());
    font_.setPointSize(points);
    updatePreview();
}

bool ClockFontDialog::chooseColor(const QColor& color) {
    int index = colors_->findData(color.toRgb());
    if (index < 0) return false;
    QSignalBlocker blocker(colors_);
    colors_->setCurrentIndex(index);
    color_ = color.toRgb();
    updatePreview();
    return true;
}

void ClockFontDialog::updatePreview() {
    for (int i = 0; i < previewLines_->count(); ++i) {
        auto* line = qobject_cast<QLabel*>(previewLines_->itemAt(i)->widget());
        if (!line) continue;
        line->setFont(shownOnClock(font_));
        QPalette palette = line->palette();
        palette.setColor(QPalette::WindowText, color_);
        line->setPalette(palette);
    }
}

}  // namespace pelm
