#include "venuepc/autostart_entry.h"

#include <regex>
#include <sstream>

#include "venuepc/config_files.h"

namespace pelm::pc {
namespace {

std::optional<std::string> keyOf(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return std::nullopt;
}

std::string execLine(const Launch& launch) {
    std::string program = "PelmDp";
    if (launch.screen) program += " --screen " + std::to_string(*launch.screen);
    return "Exec=sh -c \"cd '" + launch.folder + "' && exec " + program + "\"";
}

}  // namespace

std::filesystem::path configHome(const std::optional<std::string>& xdgConfigHome,
                                 const std::filesystem::path& home) {
    if (xdgConfigHome && !xdgConfigHome->empty() && (*xdgConfigHome)[0] == '/')
        return *xdgConfigHome;
    return home / ".config";
}

std::filesystem::path boardAutostartPath(const std::filesystem::path& configHome) {
    return configHome / "autostart/pelmdp-autostart.desktop";
}

std::optional<Launch> readAutostart(const std::filesystem::path& path) {
    const auto entry = readWhole(path);
    if (!entry) return std::nullopt;
    if (keyOf(*entry, "Hidden") == "true") return std::nullopt;
    if (keyOf(*entry, "X-GNOME-Autostart-enabled") == "false") return std::nullopt;
    static const std::regex cd(R"(cd +'?([^'&]*[^'& ])'? *&&)");
    static const std::regex screen(R"(--screen +([0-9]+))");
    const std::string exec = keyOf(*entry, "Exec").value_or("");
    std::smatch match;
    Launch launch{"~/pelm", std::nullopt};
    if (std::regex_search(exec, match, cd)) launch.folder = match[1];
    if (std::regex_search(exec, match, screen)) launch.screen = std::stoi(match[1]);
    return launch;
}

bool fitsExecLine(const std::string& folder) {
    return folder.find_first_of("\"'\\$`%\n\r") == std::string::npos;
}

std::string withLaunch(const std::string& entry, const Launch& launch) {
    std::istringstream lines(entry);
    std::string out;
    for (std::string line; std::getline(lines, line);)
        out += (line.rfind("Exec=", 0) == 0 ? execLine(launch) : line) + "\n";
    return out;
}

}  // namespace pelm::pc
