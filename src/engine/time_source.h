#pragma once
// The wall-clock time for the board's journal and status file: when an
// error was first seen, when the last refresh ran. Tests set it by hand, so
// repeats over ten minutes take no ten minutes.

#include <QDateTime>
#include <atomic>

namespace pelm {

class TimeSource {
public:
    virtual ~TimeSource() = default;
    /// Milliseconds since 1970-01-01 UTC. May be called from any thread.
    virtual qint64 nowMs() const = 0;
};

class SystemTimeSource : public TimeSource {
public:
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

/// A time that moves only when told to.
class ManualTimeSource : public TimeSource {
public:
    explicit ManualTimeSource(qint64 startMs = 1'796'632'800'000) : now_(startMs) {}
    qint64 nowMs() const override { return now_.load(); }
    void advanceMs(qint64 ms) { now_ += ms; }
    void setMs(qint64 ms) { now_ = ms; }

private:
    std::atomic<qint64> now_;
};

}  // namespace pelm
