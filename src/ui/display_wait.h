#pragma once
// A board started while its display is away (a desktop that crashed and is
// coming back, a session that has not yet handed its display to the
// service manager) waits for one instead of ending: however long the
// outage, it shows within seconds of the display's return, and the service
// manager, which would give up on a board that keeps ending, is never asked
// to start it again.

#include <memory>

#include "ui/display_probe.h"

namespace pelm {

/// Returns a probe that found a display, at once when there is one. Until
/// then it asks again every second or two, says in the journal once that
/// there is none, again at most every ten minutes and once when one
/// answers, and tells a listening service manager that it waits (ready,
/// with that status, and the watchdog's pings). Null when SIGTERM or SIGINT
/// asks the board to end meanwhile: with no window there is nothing to
/// save, and the caller ends with status 0.
std::unique_ptr<DisplayProbe> waitForDisplay();

}  // namespace pelm
