#include "platform/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace pelm {

ServiceNotify ServiceNotify::fromEnvironment() {
    ServiceNotify notify;
    const char* socket = std::getenv("NOTIFY_SOCKET");
    notify.active_ = socket && *socket;
    std::uint64_t usec = 0;
    if (notify.active_ && sd_watchdog_enabled(0, &usec) > 0)
        notify.watchdogUsec_ = static_cast<qint64>(usec);
    return notify;
}

bool ServiceNotify::send(std::string_view state) const {
    return active_ && sd_notify(0, std::string(state).c_str()) > 0;
}

}  // namespace pelm
