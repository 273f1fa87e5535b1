#include "platform/process_alive.h"

#include <signal.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace pelm {

std::optional<std::uint64_t> processStartTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    // The command name in parentheses may hold spaces and ")"; the fields
    // after the last ")" are plain numbers.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 22) return std::stoull(field);
    }
    return std::nullopt;
}

bool processRuns(pid_t pid, std::optional<std::uint64_t> startTicks) {
    if (pid <= 0) return false;
    if (kill(pid, 0) != 0 && errno == ESRCH) return false;
    if (!startTicks) return true;
    const auto actual = processStartTicks(pid);
    return !actual || *actual == *startTicks;
}

}  // namespace pelm
