#include "platform/clock_sync.h"

#include <sys/timex.h>

namespace pelm {

std::optional<ClockSync> KernelClockSync::read() const {
    timex state{};  // modes 0: a read, allowed to any user
    const int result = ntp_adjtime(&state);
    if (result == -1) return std::nullopt;
    // The kernel leaves STA_UNSYNC set, and answers TIME_ERROR, until a
    // time service has disciplined the clock; it sets it again when the
    // service stops and the estimated error has grown past its limit.
    const bool synchronised = result != TIME_ERROR && !(state.status & STA_UNSYNC);
    return ClockSync{synchronised, (static_cast<qint64>(state.maxerror) + 999) / 1000};
}

}  // namespace pelm
