#pragma once
// The service manager's notify protocol (sd_notify(3)), spoken directly: one
// datagram of "KEY=value" lines to the socket named by NOTIFY_SOCKET. A
// board started any other way (autostart entry, a terminal) has no such
// socket, and then nothing is sent.

#include <sys/socket.h>
#include <sys/un.h>

#include <QtGlobal>
#include <optional>
#include <string_view>

namespace pelm {

class ServiceNotify {
public:
    /// From this process's environment: NOTIFY_SOCKET (a path, or "@name"
    /// for an abstract socket) and the watchdog's WATCHDOG_USEC, which
    /// counts only when WATCHDOG_PID is unset or names this process.
    static ServiceNotify fromEnvironment();

    ServiceNotify() = default;  // sends nothing
    ~ServiceNotify();
    ServiceNotify(ServiceNotify&& other) noexcept;
    ServiceNotify& operator=(ServiceNotify&& other) noexcept;
    ServiceNotify(const ServiceNotify&) = delete;
    ServiceNotify& operator=(const ServiceNotify&) = delete;

    bool active() const { return socket_ >= 0; }
    /// The watchdog's interval, when the service manager keeps one.
    std::optional<qint64> watchdogUsec() const { return watchdogUsec_; }
    /// Sends `state` ("READY=1", "STATUS=...", lines joined by '\n'). Never
    /// blocks: a manager too busy to take the datagram loses it, rather
    /// than the window its thread. False when nothing was sent.
    bool send(std::string_view state) const;

private:
    int socket_ = -1;
    sockaddr_un address_{};
    socklen_t addressLength_ = 0;
    std::optional<qint64> watchdogUsec_;
};

}  // namespace pelm
