#pragma once
// How the board takes the screen: the designed window, or the whole of one
// monitor with the board scaled to fit, the pointer hidden while the mouse
// rests and the desktop asked not to blank the screen.

#include <QWidget>
#include <memory>
#include <optional>

namespace pelm {

class FullScreenBoard;
class IdleCursor;
class ScreenBlankInhibitor;

class BoardScreen {
public:
    /// Shows `board` (not yet shown; it must outlive this object): in full
    /// screen on monitor `screen` (0 is the first; unset or unknown, the
    /// primary) when `fullScreen`, otherwise as its designed window, centred
    /// on that monitor.
    BoardScreen(QWidget& board, bool fullScreen, std::optional<int> screen);
    ~BoardScreen();
    BoardScreen(const BoardScreen&) = delete;
    BoardScreen& operator=(const BoardScreen&) = delete;

    /// The full-screen view, or null for the designed window.
    FullScreenBoard* view() const { return view_.get(); }

private:
    std::unique_ptr<FullScreenBoard> view_;
    std::unique_ptr<IdleCursor> cursor_;
    std::unique_ptr<ScreenBlankInhibitor> awake_;
};

}  // namespace pelm
