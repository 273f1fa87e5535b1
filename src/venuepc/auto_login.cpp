#include "venuepc/auto_login.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "venuepc/config_files.h"

namespace pelm::pc {
namespace {

namespace fs = std::filesystem;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Debian's display managers write their program's path there when chosen;
// systemd's display-manager.service link says the same on other systems.
std::string displayManagerName(const fs::path& root) {
    if (auto chosen = readConfig(root, "/etc/X11/default-display-manager")) {
        const std::string path = chosen->substr(0, chosen->find_first_of("\r\n"));
        if (!path.empty()) return fs::path(path).filename().string();
    }
    std::error_code error;
    const fs::path link =
        fs::read_symlink(under(root, "/etc/systemd/system/display-manager.service"), error);
    if (error) return "";
    const std::string unit = link.stem().string();
    return unit == "gdm" ? "gdm3" : unit;
}

std::optional<std::string> gdmUser(const fs::path& root) {
    const std::vector<fs::path> files{under(root, "/etc/gdm3/daemon.conf")};
    const std::string enabled =
        lowered(lastValue(files, "daemon", "AutomaticLoginEnable").value_or(""));
    if (enabled != "true" && enabled != "1") return std::nullopt;
    return lastValue(files, "daemon", "AutomaticLogin");
}

std::optional<std::string> lightdmUser(const fs::path& root) {
    std::vector<fs::path> files = dropIns(root, "/usr/share/lightdm/lightdm.conf.d", ".conf");
    for (const fs::path& file : dropIns(root, "/etc/lightdm/lightdm.conf.d", ".conf"))
        files.push_back(file);
    files.push_back(under(root, "/etc/lightdm/lightdm.conf"));
    auto user = lastValue(files, "Seat:*", "autologin-user");
    return user ? user : lastValue(files, "SeatDefaults", "autologin-user");
}

std::optional<std::string> sddmUser(const fs::path& root) {
    std::vector<fs::path> files = dropIns(root, "/usr/lib/sddm/sddm.conf.d", ".conf");
    for (const fs::path& file : dropIns(root, "/etc/sddm.conf.d", ".conf")) files.push_back(file);
    files.push_back(under(root, "/etc/sddm.conf"));
    return lastValue(files, "Autologin", "User");
}

// agetty's --autologin (or -a) in a drop-in of getty@tty1.service.
std::optional<std::string> gettyUser(const fs::path& root) {
    static const std::regex autologin(R"((?:--autologin|-a)[ =]+([^ \t\r\n]+))");
    std::optional<std::string> user;
    for (const fs::path& file :
         dropIns(root, "/etc/systemd/system/getty@tty1.service.d", ".conf")) {
        const std::string text = readWhole(file).value_or("");
        std::smatch match;
        if (std::regex_search(text, match, autologin)) user = match[1];
    }
    return user;
}

std::optional<std::string> nonEmpty(std::optional<std::string> user) {
    return user && !user->empty() ? user : std::nullopt;
}

// The session SDDM starts for an automatic login: Plasma where it is
// installed, else the first session the PC has.
std::string sddmSession(const fs::path& root) {
    for (const std::string folder : {"/usr/share/xsessions", "/usr/share/wayland-sessions"}) {
        std::vector<fs::path> sessions = dropIns(root, folder, ".desktop");
        for (const fs::path& session : sessions) {
            if (session.stem() == "plasma") return "plasma";
        }
        if (!sessions.empty()) return sessions.front().stem().string();
    }
    return "plasma";
}

}  // namespace

AutoLogin autoLoginOf(const fs::path& root) {
    const std::string manager = displayManagerName(root);
    if (manager.empty()) return {"getty", true, nonEmpty(gettyUser(root))};
    if (manager == "gdm3") return {manager, true, nonEmpty(gdmUser(root))};
    if (manager == "lightdm") return {manager, true, nonEmpty(lightdmUser(root))};
    if (manager == "sddm") return {manager, true, nonEmpty(sddmUser(root))};
    return {manager, false, std::nullopt};
}

std::string autoLoginCommand(const AutoLogin& found, const std::string& user,
                             const fs::path& root) {
    if (found.manager == "gdm3") {
        return "sed -i -e '/^ *AutomaticLogin\\(Enable\\)\\? *=/d' -e "
               "'s/^\\[daemon\\] *$/[daemon]\\nAutomaticLoginEnable=true\\nAutomaticLogin=" +
               user + "/' /etc/gdm3/daemon.conf";
    }
    if (found.manager == "lightdm") {
        return "mkdir -p /etc/lightdm/lightdm.conf.d && printf '[Seat:*]\\nautologin-user=" + user +
               "\\n' > /etc/lightdm/lightdm.conf.d/50-pelm-autologin.conf";
    }
    if (found.manager == "sddm") {
        return "mkdir -p /etc/sddm.conf.d && printf '[Autologin]\\nUser=" + user +
               "\\nSession=" + sddmSession(root) + "\\n' > /etc/sddm.conf.d/50-pelm-autologin.conf";
    }
    if (found.manager == "getty") {
        return "mkdir -p /etc/systemd/system/getty@tty1.service.d && printf "
               "'[Service]\\nExecStart=\\nExecStart=-/sbin/agetty --autologin " +
               user +
               " --noclear %%I $TERM\\n' > /etc/systemd/system/getty@tty1.service.d/autologin.conf "
               "&& systemctl daemon-reload";
    }
    return "";
}

}  // namespace pelm::pc
