// The window's tests run in a widget application on the offscreen platform
// unless another is chosen, with the board's font substitutions and the
// Japanese time format the board shows on its venue PCs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/time_of_day.h"
#include "ui/fonts.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The boards under test keep their status files here, not beside the
    // user's own boards.
    QTemporaryDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    pelm::registerFontSubstitutions();
    QApplication application(argc, argv);
    pelm::setCurrentLocaleTime(pelm::LocaleTime::fromLocale(QLocale(QLocale::Japanese)));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
