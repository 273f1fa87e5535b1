#pragma once
// The XDG autostart entry that starts the board at login on a desktop
// whose session does not reach graphical-session.target: the package's
// /usr/share/pelm/pelmdp-autostart.desktop, copied into the user's
// ~/.config/autostart with the board's folder and monitor in its Exec line.

#include <filesystem>
#include <optional>
#include <string>

namespace pelm::pc {

inline constexpr char kAutostartTemplate[] = "/usr/share/pelm/pelmdp-autostart.desktop";

/// The user's configuration folder: $XDG_CONFIG_HOME when it is set to an
/// absolute path, else ~/.config.
std::filesystem::path configHome(const std::optional<std::string>& xdgConfigHome,
                                 const std::filesystem::path& home);

/// Where the board user's copy goes, in the user's configuration folder.
std::filesystem::path boardAutostartPath(const std::filesystem::path& configHome);

/// How an entry starts the board.
struct Launch {
    std::string folder;         // absolute
    std::optional<int> screen;  // --screen N
};

/// What the entry at `path` starts; nothing when there is none, or it is
/// turned off (Hidden=true, or GNOME's X-GNOME-Autostart-enabled=false).
std::optional<Launch> readAutostart(const std::filesystem::path& path);

/// Whether a folder's name can stand in an Exec line as written: no
/// quote, backslash, dollar, backquote, percent or line break in it.
bool fitsExecLine(const std::string& folder);

/// The entry `entry` (the package's text) with an Exec line for `launch`.
std::string withLaunch(const std::string& entry, const Launch& launch);

}  // namespace pelm::pc
