#pragma once
// Keeps an eye on the system clock's synchronisation for operators: read at
// start and about once a minute, said in the journal when it changes (a
// warning when the clock is not synchronised, a line when it becomes so),
// and handed to the status file. Nothing of it reaches the board's screen:
// spectators are not the ones who can fix a PC's clock.

#include <optional>

#include "engine/clock.h"
#include "platform/clock_sync.h"

namespace pelm {

class ClockSyncWatch {
public:
    static constexpr qint64 kCheckIntervalMs = 60 * 1000;

    /// `source` and `time` must outlive this object.
    ClockSyncWatch(const ClockSyncSource& source, const Clock& time);

    /// Reads the source when a check is due: at the first call, a minute
    /// after the last check, or at once when the clock was set back. True
    /// when it read.
    bool check();
    /// The last reading; nullopt before the first or when the system would
    /// not say.
    const std::optional<ClockSync>& current() const { return current_; }

private:
    void report(const std::optional<ClockSync>& reading);

    const ClockSyncSource& source_;
    const Clock& time_;
    std::optional<qint64> lastCheckMs_;
    std::optional<ClockSync> current_;
    bool unreadableSaid_ = false;
};

}  // namespace pelm
