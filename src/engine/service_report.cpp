#include "engine/service_report.h"

#include <algorithm>
#include <string>

namespace pelm {

QString serviceStatus(BoardState state, const std::optional<ClockSync>& clock) {
    QString status = stateName(state);
    if (clock && !clock->synchronised) status += QStringLiteral(", clock not synchronised");
    return status;
}

ServiceReport::ServiceReport(ServiceNotify notify) : notify_(std::move(notify)) {
    // A quarter of the manager's interval leaves room for three lost or
    // late pings before it gives up on the board.
    if (const auto usec = notify_.watchdogUsec()) {
        pingInterval_ = std::min(std::chrono::milliseconds(*usec / 4000), kLongestPingInterval);
    }
}

void ServiceReport::ready(const QString& status) {
    sendStatus(status, "READY=1\n");
    if (notify_.watchdogUsec()) {
        notify_.send("WATCHDOG=1");
        lastPing_ = std::chrono::steady_clock::now();
    }
}

void ServiceReport::beat(const QString& status) {
    if (!notify_.active()) return;
    if (status != status_) sendStatus(status, "");
    if (!notify_.watchdogUsec()) return;
    const auto now = std::chrono::steady_clock::now();
    // Beats fall on the wall clock's quarters, a hair either side of the
    // interval as the machine counts; half a beat of slack keeps a ping on
    // the beat that is due rather than the one after.
    constexpr auto kSlack = std::chrono::milliseconds(125);
    if (lastPing_ && now - *lastPing_ < pingInterval_ - kSlack) return;
    if (notify_.send("WATCHDOG=1")) lastPing_ = now;
}

void ServiceReport::stopping() {
    notify_.send("STOPPING=1");
}

void ServiceReport::sendStatus(const QString& status, const char* prefix) {
    status_ = status;
    notify_.send(std::string(prefix) + "STATUS=" + status.toStdString());
}

}  // namespace pelm
