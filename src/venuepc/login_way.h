#pragma once
// How `pelmctl setup` has the board start at every login, found out from
// the session rather than asked: the user service where the session
// reaches graphical-session.target (handing it the display where the
// session does not), else the desktop's XDG autostart entry.

#include <string>
#include <variant>

namespace pelm::pc {

/// What setup finds out before it changes anything.
struct SessionFacts {
    bool display = false;             // a desktop's display: X11 or Wayland
    bool managerAnswers = false;      // systemctl --user reaches the user manager
    bool targetReached = false;       // graphical-session.target is active
    bool managerHasDisplay = false;   // the manager's environment names the display
    bool unitInstalled = false;       // pelmdp.service is known to the manager
    bool autostartInstalled = false;  // the package's autostart entry is there
};

enum class LoginWay {
    Unit,             // enable pelmdp.service
    UnitWithDisplay,  // the same, handing the manager the display at each login
    Autostart,        // copy the autostart entry
};

/// The way, or why there is none (a refusal, UTF-8).
std::variant<LoginWay, std::string> chooseLoginWay(const SessionFacts& facts);

}  // namespace pelm::pc
