// PelmDp: the race-day board. One window, Form1, shown until it is closed.

#include <malloc.h>

#include <QApplication>
#include <QLocale>
#include <csignal>

#include "board/board_command_line.h"
#include "engine/board_settings.h"
#include "platform/journal.h"
#include "platform/paths.h"
#include "platform/session_bus.h"
#include "platform/time_of_day.h"
#include "ui/Umain.h"
#include "ui/board_screen.h"
#include "ui/display_wait.h"
#include "ui/fonts.h"
#include "ui/qt_translations.h"
#include "ui/quit_signals.h"

int main(int argc, char** argv) {
    const pelm::BoardCommandLine command = pelm::readBoardCommandLine(argc, argv);
    if (!command.run) return pelm::answerCommandLine(command);
    // glibc raises its mmap threshold after freeing a large block, and from
    // then on big buffers come from the heap: one outsized schedule could
    // leave the board holding its peak memory for the rest of the day. A
    // fixed threshold keeps big buffers in their own mappings, returned when
    // freed, and the board's size flat from one refresh to the next.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    pelm::installJournal();
    // A write to a socket or pipe whose other end went (an X server that
    // resets as the board connects, a journal reader that was restarted)
    // is an error its writer handles, never the board's end: a service
    // manager ignores SIGPIPE for its services, and a kiosk session must
    // not depend on that.
    std::signal(SIGPIPE, SIG_IGN);
    pelm::neverLaunchSessionBus();
    const auto display = pelm::waitForDisplay();
    if (!display) return 0;
    display->prepare();
    pelm::registerFontSubstitutions();
    QApplication application(argc, argv);
    display->release();
    QApplication::setApplicationVersion(PELM_VERSION);
    pelm::installQtTranslations(QLocale::system());
    pelm::setCurrentLocaleTime(pelm::LocaleTime::fromLocale(QLocale::system()));

    // The board's life outlives its window, which shows it.
    pelm::BoardLife life;
    pelm::TForm1 Form1(life);
    new pelm::QuitSignals(&Form1, [&Form1] { Form1.closeBySignal(); });
    // The board ends with its window, even while a message box is still up.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&Form1, &pelm::TForm1::closed, &application, &QApplication::exit);
    const bool fullScreen = command.options.fullScreen.value_or(
        pelm::loadBoardSettings(pelm::settingsPath(pelm::currentDirectory()))
            .settings.coversScreen());
    pelm::BoardScreen screen(Form1, fullScreen, command.options.screen);
    return QApplication::exec();
}
