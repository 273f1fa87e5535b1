#include "engine/repeated_errors.h"

#include "platform/codepage.h"
#include "platform/journal.h"

namespace pelm {
namespace {

QString duration(qint64 ms) {
    const qint64 seconds = qMax<qint64>(0, ms / 1000);
    if (seconds < 120) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 2 * 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

QString times(long long count) {
    return count == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(count);
}

}  // namespace

RepeatedErrors::RepeatedErrors(const Clock& time, QtMsgType severity)
    : time_(time), severity_(severity) {}

void RepeatedErrors::occurredCp932(const Cp932& message) {
    occurred(fromCp932(message));
}

void RepeatedErrors::occurred(const QString& message) {
    const qint64 now = time_.nowMs();
    if (!active_) return start(message, now);
    if (message != message_) return change(message, now);
    ++total_;
    ++sinceReport_;
    // A clock set back would otherwise silence the error until it catches up.
    const qint64 sinceLast = now - reportedMs_;
    if (sinceLast >= kReportIntervalMs || sinceLast < 0) {
        log(severity_, QStringLiteral("%1 (repeated %2 in the last %3, %4 in all)")
                           .arg(message_, times(sinceReport_), duration(sinceLast), times(total_)));
        sinceReport_ = 0;
        reportedMs_ = now;
    }
}

void RepeatedErrors::cleared() {
    if (!active_) return;
    log(QtInfoMsg, QStringLiteral("recovered after %1, occurred %2: %3")
                       .arg(duration(time_.nowMs() - firstMs_), times(total_), message_));
    active_ = false;
    message_.clear();
    total_ = sinceReport_ = 0;
}

void RepeatedErrors::start(const QString& message, qint64 now) {
    active_ = true;
    firstMs_ = now;
    change(message, now);
}

// Another message while one is current is the same trouble in other words
// (a full disk fails the write at the open one time and at the write the
// next): nothing has recovered, so the outage goes on under the new message.
void RepeatedErrors::change(const QString& message, qint64 now) {
    message_ = message;
    total_ = 1;
    sinceReport_ = 0;
    reportedMs_ = now;
    log(severity_, message_);
}

void RepeatedErrors::log(QtMsgType type, const QString& line) const {
    switch (type) {
        case QtCriticalMsg:
        case QtFatalMsg:
            qCCritical(lcBoard).noquote() << line;
            break;
        case QtWarningMsg:
            qCWarning(lcBoard).noquote() << line;
            break;
        default:
            qCInfo(lcBoard).noquote() << line;
            break;
    }
}

}  // namespace pelm
