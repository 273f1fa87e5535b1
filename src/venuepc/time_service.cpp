#include "venuepc/time_service.h"

#include <array>
#include <sstream>

#include "venuepc/config_files.h"

namespace pelm::pc {
namespace {

namespace fs = std::filesystem;

struct Known {
    const char* name;
    const char* unit;
};
constexpr std::array kServices{Known{"systemd-timesyncd", "systemd-timesyncd.service"},
                               Known{"chrony", "chrony.service"},
                               Known{"ntpsec", "ntpsec.service"}};

bool enabled(const fs::path& root, const std::string& unit) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(under(root, "/etc/systemd/system"), error)) {
        if (entry.path().extension() == ".wants" && fs::exists(entry.path() / unit, error))
            return true;
    }
    return false;
}

bool installed(const fs::path& root, const std::string& unit) {
    std::error_code error;
    return fs::exists(under(root, "/lib/systemd/system/" + unit), error) ||
           fs::exists(under(root, "/usr/lib/systemd/system/" + unit), error);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> found;
    for (std::string word; in >> word;) found.push_back(word);
    return found;
}

std::vector<std::string> timesyncdServers(const fs::path& root) {
    std::vector<fs::path> files{under(root, "/etc/systemd/timesyncd.conf")};
    for (const fs::path& file : dropIns(root, "/etc/systemd/timesyncd.conf.d", ".conf"))
        files.push_back(file);
    return words(lastValue(files, "Time", "NTP").value_or(""));
}

// "server NAME …" and "pool NAME …" lines, chrony's and ntpd's alike.
std::vector<std::string> serverLines(const std::vector<fs::path>& files) {
    std::vector<std::string> servers;
    for (const fs::path& file : files) {
        std::istringstream lines(readWhole(file).value_or(""));
        for (std::string line; std::getline(lines, line);) {
            const std::vector<std::string> parts = words(line);
            if (parts.size() >= 2 && (parts[0] == "server" || parts[0] == "pool"))
                servers.push_back(parts[1]);
        }
    }
    return servers;
}

std::vector<std::string> chronyServers(const fs::path& root) {
    std::vector<fs::path> files{under(root, "/etc/chrony/chrony.conf")};
    for (const fs::path& file : dropIns(root, "/etc/chrony/conf.d", ".conf")) files.push_back(file);
    for (const fs::path& file : dropIns(root, "/etc/chrony/sources.d", ".sources"))
        files.push_back(file);
    return serverLines(files);
}

std::vector<std::string> serversOf(const fs::path& root, const std::string& name) {
    if (name == "systemd-timesyncd") return timesyncdServers(root);
    if (name == "chrony") return chronyServers(root);
    return serverLines({under(root, "/etc/ntpsec/ntp.conf")});
}

}  // namespace

TimeService timeServiceOf(const fs::path& root) {
    TimeService found;
    for (const Known& service : kServices) {
        if (enabled(root, service.unit)) {
            found.name = service.name;
            found.servers = serversOf(root, service.name);
            return found;
        }
        if (found.installedOff.empty() && installed(root, service.unit))
            found.installedOff = service.name;
    }
    return found;
}

}  // namespace pelm::pc
