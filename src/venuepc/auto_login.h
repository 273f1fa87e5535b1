#pragma once
// Who the PC logs in by itself at power-on: the display manager Debian
// names in /etc/X11/default-display-manager (GDM, LightDM, SDDM), or, on a
// kiosk without one, the console's getty on tty1. A board that comes up at
// every login only comes up after a power-on with nobody at the PC when
// its user is logged in automatically.

#include <filesystem>
#include <optional>
#include <string>

namespace pelm::pc {

struct AutoLogin {
    /// "gdm3", "lightdm", "sddm", another display manager's name, or
    /// "getty" where no display manager is set.
    std::string manager;
    /// Whether pelmctl knows where that manager keeps its setting.
    bool known = true;
    /// Who it logs in automatically; nothing: nobody.
    std::optional<std::string> user;
};

/// The automatic login set on the PC whose root is `root`.
AutoLogin autoLoginOf(const std::filesystem::path& root);

/// Root's command that makes `manager` log `user` in automatically; empty
/// for a manager pelmctl does not know.
std::string autoLoginCommand(const AutoLogin& found, const std::string& user,
                             const std::filesystem::path& root);

}  // namespace pelm::pc
