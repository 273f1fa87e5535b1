#include "ui/display_wait.h"

#include <signal.h>

#include <QString>
#include <chrono>
#include <ctime>

#include "engine/clock.h"
#include "engine/repeated_errors.h"
#include "engine/service_report.h"
#include "platform/journal.h"

namespace pelm {
namespace {

constexpr auto kAskEvery = std::chrono::seconds(1);

// SIGTERM and SIGINT are held while the board waits and taken in its
// pauses, so a stop in the middle of the wait ends the board at once and
// cleanly. No thread runs yet to take them instead.
class HeldQuitSignals {
public:
    HeldQuitSignals() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGTERM);
        sigaddset(&signals_, SIGINT);
        sigprocmask(SIG_BLOCK, &signals_, &previous_);
    }
    ~HeldQuitSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    HeldQuitSignals(const HeldQuitSignals&) = delete;
    HeldQuitSignals& operator=(const HeldQuitSignals&) = delete;

    /// Pauses for `pause`; true when a quit signal came meanwhile.
    bool arriveWithin(std::chrono::seconds pause) const {
        const timespec timeout{static_cast<time_t>(pause.count()), 0};
        return sigtimedwait(&signals_, nullptr, &timeout) > 0;
    }

private:
    sigset_t signals_;
    sigset_t previous_;
};

}  // namespace

std::unique_ptr<DisplayProbe> waitForDisplay() {
    auto display = std::make_unique<DisplayProbe>();
    if (display->found()) return display;
    const SystemClock time;
    RepeatedErrors outage(time, QtCriticalMsg);
    const QString status = QStringLiteral("waiting for a display");
    // Held before the manager hears the board is up, which is when a stop
    // may come; the journal has the reason by then too.
    const HeldQuitSignals quit;
    const auto noDisplay = [&] {
        outage.occurred(display->choice().failure + QStringLiteral("; waiting for one"));
    };
    noDisplay();
    ServiceReport service(ServiceNotify::fromEnvironment());
    service.ready(status);
    for (;;) {
        if (quit.arriveWithin(kAskEvery)) {
            qCInfo(lcBoard) << "asked to end while waiting for a display";
            return nullptr;
        }
        service.beat(status);
        display = std::make_unique<DisplayProbe>();
        if (display->found()) {
            outage.cleared();
            return display;
        }
        noDisplay();
    }
}

}  // namespace pelm
