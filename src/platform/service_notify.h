#pragma once
// The service manager's notify protocol, through libsystemd (sd_notify(3),
// sd_watchdog_enabled(3)). A board started any other way (an autostart
// entry, a terminal) has no NOTIFY_SOCKET, and then nothing is sent.

#include <QtGlobal>
#include <optional>
#include <string_view>

namespace pelm {

class ServiceNotify {
public:
    /// From this process's environment: whether a service manager listens,
    /// and its watchdog's interval when the watchdog is this process's.
    static ServiceNotify fromEnvironment();

    ServiceNotify() = default;  // sends nothing

    bool active() const { return active_; }
    /// The watchdog's interval, when the service manager keeps one.
    std::optional<qint64> watchdogUsec() const { return watchdogUsec_; }
    /// Sends `state` ("READY=1", "STATUS=...", lines joined by '\n'). False
    /// when nothing was sent.
    bool send(std::string_view state) const;

private:
    bool active_ = false;
    std::optional<qint64> watchdogUsec_;
};

}  // namespace pelm
