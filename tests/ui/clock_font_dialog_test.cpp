#include "ui/clock_font_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "ui/color_ref.h"

namespace pelm {
namespace {

const QColor kClockBlue = colorFromRef(15429970);

QFont boardClockFont() {
    QFont font(QStringLiteral("ＭＳ Ｐ明朝"));
    font.setPointSize(100);
    return font;
}

// An installed face other than the clock's.
QString anotherFace() {
    QStringList families = QFontDatabase::families();
    return families.contains(QStringLiteral("IPAPGothic")) ? QStringLiteral("IPAPGothic")
                                                           : families.value(0);
}

class FontDialog : public ::testing::Test {
protected:
    void SetUp() override { dialog_.prepare(boardClockFont(), kClockBlue); }

    QList<QLabel*> previewLines() {
        return dialog_.findChildren<QLabel*>(QStringLiteral("previewLine"));
    }
    // The lists in the order shown: faces, styles, sizes.
    QListWidget* list(int column) { return dialog_.findChildren<QListWidget*>().value(column); }
    QLineEdit* faceEdit() { return dialog_.findChildren<QLineEdit*>().value(0); }
    QLineEdit* sizeEdit() { return dialog_.findChildren<QLineEdit*>().value(2); }
    // The colours offered, in the order listed.
    QList<QColor> colorChoices() {
        QList<QColor> choices;
        const QComboBox* colors = dialog_.findChild<QComboBox*>();
        for (int i = 0; colors && i < colors->count(); ++i)
            choices.append(colors->itemData(i).value<QColor>());
        return choices;
    }

    void type(QLineEdit* edit, const QString& text) {
        edit->clear();
        typeOver(edit, text);
    }
    void typeOver(QLineEdit* edit, const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }

    ClockFontDialog dialog_;
};

TEST_F(FontDialog, StartsFromThePreparedFontAndColour) {
    EXPECT_EQ(dialog_.font().family(), QStringLiteral("ＭＳ Ｐ明朝"));
    EXPECT_EQ(dialog_.font().pointSize(), 100);
    EXPECT_EQ(styleOf(dialog_.font()), FontStyle::Regular);
    EXPECT_EQ(dialog_.color(), kClockBlue);
    EXPECT_FALSE(dialog_.colorChanged());
    EXPECT_EQ(list(0)->currentItem()->text(), QStringLiteral("ＭＳ Ｐ明朝"));
    EXPECT_EQ(sizeEdit()->text(), QStringLiteral("100"));
}

TEST_F(FontDialog, OffersTheBasicColoursAndTheClocksOwn) {
    QList<QColor> choices = colorChoices();
    ASSERT_EQ(choices.size(), 17);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(choices[i], basicColors()[i].color);
    EXPECT_EQ(choices[16], kClockBlue);
}

TEST_F(FontDialog, ABasicClockColourIsNotOfferedTwice) {
    dialog_.prepare(boardClockFont(), QColor(255, 0, 0));
    EXPECT_EQ(colorChoices().size(), 16);
    EXPECT_EQ(dialog_.color(), QColor(255, 0, 0));
    EXPECT_FALSE(dialog_.colorChanged());
}

TEST_F(FontDialog, ChoosingReturnsFaceStyleSizeAndColour) {
    dialog_.chooseFamily(anotherFace());
    dialog_.chooseStyle(FontStyle::BoldItalic);
    dialog_.choosePointSize(72);
    EXPECT_TRUE(dialog_.chooseColor(QColor(255, 0, 0)));
    EXPECT_EQ(dialog_.font().family(), anotherFace());
    EXPECT_EQ(dialog_.font().pointSize(), 72);
    EXPECT_EQ(styleOf(dialog_.font()), FontStyle::BoldItalic);
    EXPECT_EQ(dialog_.color(), QColor(255, 0, 0));
    EXPECT_TRUE(dialog_.colorChanged());
}

TEST_F(FontDialog, AColourNotOfferedIsRefused) {
    EXPECT_FALSE(dialog_.chooseColor(QColor(1, 2, 3)));
    EXPECT_EQ(dialog_.color(), kClockBlue);
}

TEST_F(FontDialog, ChoosingTheSameColourAgainIsNoChange) {
    dialog_.chooseColor(QColor(255, 0, 0));
    dialog_.chooseColor(kClockBlue);
    EXPECT_FALSE(dialog_.colorChanged());
}

TEST_F(FontDialog, TheOperatorsPicksInTheListsCount) {
    list(0)->setCurrentRow(list(0)->count() - 1);
    list(1)->setCurrentRow(2);
    list(2)->setCurrentRow(0);
    dialog_.findChild<QComboBox*>(QStringLiteral("colors"))->setCurrentIndex(9);
    EXPECT_EQ(dialog_.font().family(), list(0)->item(list(0)->count() - 1)->text());
    EXPECT_EQ(styleOf(dialog_.font()), FontStyle::Bold);
    EXPECT_EQ(dialog_.font().pointSize(), sizeChoices().front());
    EXPECT_EQ(sizeEdit()->text(), QString::number(sizeChoices().front()));
    EXPECT_EQ(dialog_.color(), basicColors()[9].color);
}

TEST_F(FontDialog, ASizeCanBeTyped) {
    type(sizeEdit(), QStringLiteral("37"));
    EXPECT_EQ(dialog_.font().pointSize(), 37);
    EXPECT_EQ(list(2)->currentItem(), nullptr);
    type(sizeEdit(), QStringLiteral("0"));
    EXPECT_EQ(dialog_.font().pointSize(), 37);
    type(sizeEdit(), QStringLiteral("72"));
    EXPECT_EQ(list(2)->currentItem()->text(), QStringLiteral("72"));
}

TEST_F(FontDialog, TypingAFaceReplacesTheOneShownAndFindsItInTheList) {
    typeOver(faceEdit(), QStringLiteral("ipapg"));
    EXPECT_EQ(dialog_.font().family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(list(0)->currentItem()->text(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(faceEdit()->text(), QStringLiteral("ipapg"));
}

TEST_F(FontDialog, TheClocksPixelSizeAndNarrowingAreNotCarriedOver) {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(133);
    font.setStretch(80);
    dialog_.prepare(font, kClockBlue);
    EXPECT_EQ(dialog_.font().pointSize(), 100);
    EXPECT_EQ(dialog_.font().stretch(), QFont::AnyStretch);
    EXPECT_EQ(sizeEdit()->text(), QStringLiteral("100"));
}

TEST_F(FontDialog, ThePreviewShowsTheBoardsTextsInTheChosenFontAndColour) {
    dialog_.setPreviewTexts(
        {QStringLiteral("9:05:07"), QStringLiteral("接続なし"), QStringLiteral("お待ちください")});
    dialog_.chooseFamily(anotherFace());
    dialog_.chooseStyle(FontStyle::Italic);
    dialog_.choosePointSize(48);
    dialog_.chooseColor(QColor(0, 255, 0));
    QStringList texts;
    for (QLabel* line : previewLines()) {
        texts << line->text();
        EXPECT_EQ(line->font().family(), anotherFace());
        EXPECT_EQ(line->font().pixelSize(), 64);
        EXPECT_TRUE(line->font().italic());
        EXPECT_EQ(line->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    }
    EXPECT_EQ(texts, QStringList({QStringLiteral("9:05:07"), QStringLiteral("接続なし"),
                                  QStringLiteral("お待ちください")}));
}

TEST_F(FontDialog, RunsModallyAndReportsOkOrCancel) {
    QTimer::singleShot(0, &dialog_, [this] {
        dialog_.choosePointSize(72);
        dialog_.accept();
    });
    EXPECT_EQ(dialog_.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog_.font().pointSize(), 72);
    QTimer::singleShot(0, &dialog_, &QDialog::reject);
    EXPECT_EQ(dialog_.exec(), QDialog::Rejected);
}

}  // namespace
}  // namespace pelm
