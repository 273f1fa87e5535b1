#pragma once
// Whether the system clock can be trusted: the kernel's own view of its
// synchronisation, kept up to date by whatever time service runs
// (systemd-timesyncd, chrony, ntpd). A PC that never reached a time server
// shows a confidently wrong time; this is how the board finds out.

#include <QtGlobal>
#include <optional>

namespace pelm {

struct ClockSync {
    bool synchronised = false;
    /// The kernel's estimate of the clock's largest error, rounded up.
    qint64 maxErrorMs = 0;
    bool operator==(const ClockSync&) const = default;
};

/// Where the synchronisation state comes from; tests give their own.
class ClockSyncSource {
public:
    virtual ~ClockSyncSource() = default;
    /// The state now; nullopt when the system will not say.
    virtual std::optional<ClockSync> read() const = 0;
};

/// The kernel's state, read with ntp_adjtime without changing anything.
class KernelClockSync : public ClockSyncSource {
public:
    std::optional<ClockSync> read() const override;
};

}  // namespace pelm
