#pragma once
// What the service manager hears from a running board: that it is up, that
// its window's thread still beats (the watchdog), a short status for
// `systemctl --user status`, and that it is closing. The pings come from the
// refresh beat on the window's own thread, so a window stuck in a stalled
// mount or a driver call stops them and the manager restarts the board.

#include <QString>
#include <chrono>
#include <optional>

#include "engine/board_state.h"
#include "platform/clock_sync.h"
#include "platform/service_notify.h"

namespace pelm {

/// The status line: the board's state, and a clock that is not synchronised.
QString serviceStatus(BoardState state, const std::optional<ClockSync>& clock);

class ServiceReport {
public:
    /// Pings at least this often, however long the manager's watchdog is:
    /// one datagram a second costs nothing and shows a stall early.
    static constexpr std::chrono::milliseconds kLongestPingInterval{1000};

    explicit ServiceReport(ServiceNotify notify);

    /// Whether a service manager listens (NOTIFY_SOCKET is set): without
    /// one, nothing is sent and the beat's status need not be formed.
    bool active() const { return notify_.active(); }

    /// The window is up and the first start-up attempt done, leaving `status`.
    void ready(const QString& status);
    /// A refresh beat: a watchdog ping when one is due, and `status` when
    /// it differs from the last one sent.
    void beat(const QString& status);
    /// The board is closing.
    void stopping();

private:
    void sendStatus(const QString& status, const char* prefix);

    ServiceNotify notify_;
    std::chrono::milliseconds pingInterval_{0};
    std::optional<std::chrono::steady_clock::time_point> lastPing_;
    QString status_;
};

}  // namespace pelm
