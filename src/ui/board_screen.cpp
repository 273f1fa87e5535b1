#include "ui/board_screen.h"

#include <QDebug>

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
        qWarning().noquote() << "screen blanking is not inhibited (" + awake_->failure() +
                                    "): turn it off with 'xset s off -dpms' or in the "
                                    "desktop's settings";
    }
    view_->showOn(monitor);
    board.show();
}

// The view goes first: it hands the board back before the board goes.
BoardScreen::~BoardScreen() = default;

}  // namespace pelm
