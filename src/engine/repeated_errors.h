#pragma once
// Keeps the journal readable when an error repeats on every refresh, four
// times a second: the first occurrence is logged at once, repeats are
// counted and logged again at most every ten minutes with their count, and
// when the error stops one line says how long the trouble lasted and that it
// has cleared. A different error is logged at once, and is no recovery.

#include <QString>
#include <QtGlobal>
#include <string_view>

#include "engine/clock.h"
#include "platform/cp932.h"

namespace pelm {

class RepeatedErrors {
public:
    static constexpr qint64 kReportIntervalMs = 10 * 60 * 1000;

    /// `severity` is the level of the occurrence lines (QtCriticalMsg or
    /// QtWarningMsg); the recovery line is always info. `time` must outlive
    /// this object.
    RepeatedErrors(const Clock& time, QtMsgType severity);

    /// The error happened now; `message` is UTF-8.
    void occurred(const QString& message);
    /// The same with a message in the board's code page (CP932).
    void occurredCp932(const Cp932& message);
    /// Things went right: a current error, if any, has cleared.
    void cleared();

    bool active() const { return active_; }
    const QString& current() const { return message_; }
    /// Occurrences of the current error since it first appeared.
    long long count() const { return total_; }

private:
    void log(QtMsgType type, const QString& line) const;
    void start(const QString& message, qint64 now);
    void change(const QString& message, qint64 now);

    const Clock& time_;
    QtMsgType severity_;
    bool active_ = false;
    QString message_;
    long long total_ = 0;
    long long sinceReport_ = 0;  // occurrences not yet in a journal line
    qint64 firstMs_ = 0;         // when the trouble began, whatever its message now
    qint64 reportedMs_ = 0;
};

}  // namespace pelm
