#pragma once
// The service that keeps the PC's clock right (systemd-timesyncd, chrony
// or ntpsec) and the time servers it asks, read from its configuration and
// from the links that enable it at boot: no system manager or network is
// needed to find out.

#include <filesystem>
#include <string>
#include <vector>

namespace pelm::pc {

struct TimeService {
    /// The enabled service ("systemd-timesyncd", "chrony", "ntpsec");
    /// empty when none is enabled.
    std::string name;
    /// An installed service that is not enabled, when none is.
    std::string installedOff;
    /// The servers it is told to ask; empty: its built-in defaults.
    std::vector<std::string> servers;
};

TimeService timeServiceOf(const std::filesystem::path& root);

}  // namespace pelm::pc
