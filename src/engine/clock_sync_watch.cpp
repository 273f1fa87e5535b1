#include "engine/clock_sync_watch.h"

#include "platform/journal.h"

namespace pelm {

ClockSyncWatch::ClockSyncWatch(const ClockSyncSource& source, const Clock& time)
    : source_(source), time_(time) {}

bool ClockSyncWatch::check() {
    const qint64 now = time_.nowMs();
    if (lastCheckMs_ && now >= *lastCheckMs_ && now - *lastCheckMs_ < kCheckIntervalMs)
        return false;
    lastCheckMs_ = now;
    const std::optional<ClockSync> reading = source_.read();
    report(reading);
    current_ = reading;
    return true;
}

// Only changes of the synchronised state are said; the error estimate moves
// with every reading and belongs in the status file.
void ClockSyncWatch::report(const std::optional<ClockSync>& reading) {
    if (!reading) {
        if (!unreadableSaid_)
            qCWarning(lcBoard) << "the system clock's synchronisation cannot be read";
        unreadableSaid_ = true;
        return;
    }
    const bool wasSynchronised = current_ && current_->synchronised;
    const bool known = current_.has_value();
    if (!reading->synchronised && (!known || wasSynchronised)) {
        qCWarning(lcBoard).noquote()
            << QStringLiteral(
                   "the system clock is not synchronised (error up to %1 ms): the board shows "
                   "the time as this PC has it")
                   .arg(reading->maxErrorMs);
    } else if (reading->synchronised && !wasSynchronised) {
        qCInfo(lcBoard).noquote() << QStringLiteral(
                                         "the system clock is synchronised (error up to %1 ms)")
                                         .arg(reading->maxErrorMs);
    }
}

}  // namespace pelm
