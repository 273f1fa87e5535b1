#pragma once
// Asks the desktop not to blank the screen or start its screen saver while
// the board runs, through the session's org.freedesktop.ScreenSaver service.
// Without a session bus or that service nothing is inhibited: blanking is
// then turned off in the desktop's settings or with `xset s off -dpms`. A
// bus that goes away later costs nothing: the request went with it.

#include <QString>
#include <optional>

namespace pelm {

class ScreenBlankInhibitor {
public:
    /// Asks at once; the request lasts until this object goes.
    ScreenBlankInhibitor();
    ~ScreenBlankInhibitor();
    ScreenBlankInhibitor(const ScreenBlankInhibitor&) = delete;
    ScreenBlankInhibitor& operator=(const ScreenBlankInhibitor&) = delete;

    bool active() const { return cookie_.has_value(); }
    /// Why nothing is inhibited; empty while active.
    const QString& failure() const { return failure_; }

private:
    std::optional<uint> cookie_;
    QString failure_;
};

}  // namespace pelm
