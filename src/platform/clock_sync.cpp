#include "platform/clock_sync.h"

#include <sys/timex.h>

namespace pelm {
namespace {

// The kernel's NTP_PHASE_LIMIT: an error estimate this large means unknown.
constexpr long kMaxErrorLimitUs = 16'000'000;

}  // namespace

std::optional<ClockSync> KernelClockSync::read() const {
    timex state{};  // modes 0: a read, allowed to any user
    const int result = ntp_adjtime(&state);
    if (result == -1) return std::nullopt;
    // A time service that disciplines the clock clears STA_UNSYNC, and the
    // kernel stops answering TIME_ERROR. chrony without rtcsync leaves the flag set, to
    // keep the kernel off the hardware clock, yet keeps the error estimate
    // current; so an estimate under the kernel's limit counts as well. The
    // kernel puts the estimate at the limit when the clock is set by hand and
    // lets it grow there (500 ppm) once nothing disciplines the clock.
    const bool disciplined = result != TIME_ERROR && !(state.status & STA_UNSYNC);
    const bool synchronised = disciplined || state.maxerror < kMaxErrorLimitUs;
    return ClockSync{synchronised, (static_cast<qint64>(state.maxerror) + 999) / 1000};
}

}  // namespace pelm
