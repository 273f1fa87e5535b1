#include "platform/session_bus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace pelm {
namespace {

constexpr char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";
constexpr char kDisabled[] = "disabled:";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string sessionBusAddress() {
    const std::string given = environment(kAddressVariable);
    if (given == kDisabled) return {};
    if (!given.empty()) return given;
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return {};
    const std::string socket = runtime + "/bus";
    struct stat status {};
    if (stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode) ||
        status.st_uid != getuid())
        return {};
    return "unix:path=" + socket;
}

void neverLaunchSessionBus() {
    if (sessionBusAddress().empty()) setenv(kAddressVariable, kDisabled, 1);
}

}  // namespace pelm
