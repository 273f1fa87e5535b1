// Qt's own texts follow the system's language, and the pointer of a board
// left alone goes away and comes back with the mouse.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTranslator>

#include "ui/idle_cursor.h"
#include "ui/qt_translations.h"

namespace pelm {
namespace {

QStringList contextMenuTexts() {
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) texts.append(action->text());
    }
    return texts;
}

TEST(QtTranslations, JapaneseSystemsGetJapaneseMenusAndButtons) {
    const QStringList english = contextMenuTexts();
    ASSERT_TRUE(english.contains("&Copy") || english.join(' ').contains("Copy"));
    QTranslator* japanese = installQtTranslations(QLocale(QLocale::Japanese, QLocale::Japan));
    ASSERT_NE(japanese, nullptr) << "Qt's Japanese translation is not installed";
    const QStringList translated = contextMenuTexts();
    QCoreApplication::removeTranslator(japanese);
    delete japanese;
    EXPECT_EQ(translated.size(), english.size());
    EXPECT_FALSE(translated.join(' ').contains("Copy")) << translated.join(' ').toStdString();
    EXPECT_TRUE(translated.join(' ').contains(QString::fromUtf8("コピー")))
        << translated.join(' ').toStdString();
    EXPECT_EQ(contextMenuTexts(), english);  // removed again, for the other tests
}

TEST(QtTranslations, ALanguageWithoutATranslationStaysInEnglish) {
    EXPECT_EQ(installQtTranslations(QLocale(QLocale::Zulu)), nullptr);
}

bool waitFor(const std::function<bool()>& condition) {
    const QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return condition();
}

TEST(IdleCursor, PointerHidesWhenTheMouseRestsAndReturnsWhenItMoves) {
    QWidget area;
    {
        IdleCursor cursor(std::chrono::milliseconds(1));
        ASSERT_TRUE(waitFor([&] { return cursor.hidden(); }));
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);

        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&area, &move);
        EXPECT_FALSE(cursor.hidden());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        ASSERT_TRUE(waitFor([&] { return cursor.hidden(); }));  // rests again
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // gone with the watcher
}

}  // namespace
}  // namespace pelm
