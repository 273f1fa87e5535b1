#include "ui/board_screen.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>

#include "ui/full_screen.h"
#include "ui/idle_cursor.h"
#include "ui/screen_blank_inhibitor.h"

namespace pelm {

BoardScreen::BoardScreen(QWidget& board, bool fullScreen, std::optional<int> screen) {
    QScreen* monitor = screenNumbered(screen.value_or(-1));
    if (!fullScreen) {
        board.setScreen(monitor);  // where it centres itself at its first showing
        board.show();
        return;
    }
    view_ = std::make_unique<FullScreenBoard>(board);
    cursor_ = std::make_unique<IdleCursor>();
    awake_ = std::make_unique<ScreenBlankInhibitor>();
    if (!awake_->active()) {
        // A kiosk compositor without a screen saver blanks nothing itself.
        qWarning().noquote() << "screen blanking is not inhibited (" + awake_->failure() +
                                    "): turn it off in the desktop's settings, or with "
                                    "'xset s off -dpms' on X11";
    }
    view_->showOn(monitor);
    board.show();
    // Which display and monitor the board took, for whoever reads the journal
    // of a PC that shows something else.
    const QScreen* shown = view_->screen();
    qInfo().noquote() << QStringLiteral("full screen on %1, monitor %2 (%3x%4)")
                             .arg(QGuiApplication::platformName(), shown->name())
                             .arg(shown->geometry().width())
                             .arg(shown->geometry().height());
}

// The view goes first: it hands the board back before the board goes.
BoardScreen::~BoardScreen() = default;

}  // namespace pelm
