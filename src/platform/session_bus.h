#pragma once
// The desktop's session bus, found where the desktop put it and never
// launched. libdbus, given no address, starts a bus of its own through
// dbus-launch: a bus nobody else listens on, which serves the board nothing
// and leaves libdbus's bookkeeping behind. Qt's accessibility bridge asks
// for the session bus as soon as a label shows, so this is settled for the
// whole process before Qt starts.

#include <string>

namespace pelm {

/// The address of the session bus the desktop runs: the environment's
/// DBUS_SESSION_BUS_ADDRESS, else the user bus socket $XDG_RUNTIME_DIR/bus
/// (as libdbus looks for it); empty when there is none.
std::string sessionBusAddress();

/// With no session bus to use, sets the address to "disabled:", which
/// libdbus refuses at once instead of launching a bus.
void neverLaunchSessionBus();

}  // namespace pelm
