#include "platform/journal.h"

#include <QRegularExpression>
#include <cstdio>
#include <mutex>

namespace pelm {

Q_LOGGING_CATEGORY(lcBoard, "pelm.board", QtInfoMsg)

namespace {

// Messages arrive from any thread; the sink is swapped and called under one
// lock, so lines never interleave and a test's sink is never called after
// it was put back.
std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}

void writeToStderr(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

JournalSink& currentSink() {
    static JournalSink sink = writeToStderr;
    return sink;
}

const char* priorityOf(QtMsgType type) {
    switch (type) {
        case QtFatalMsg:
        case QtCriticalMsg:
            return "<3>";
        case QtWarningMsg:
            return "<4>";
        case QtInfoMsg:
        case QtDebugMsg:
            break;
    }
    return "<6>";
}

void handleMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string line = journalLine(type, message);
    std::lock_guard guard(sinkLock());
    currentSink()(line);
}

}  // namespace

std::string journalLine(QtMsgType type, const QString& message) {
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|[\\r\\n\\x{2028}\\x{2029}]"));
    QString oneLine = message;
    oneLine.replace(breaks, QStringLiteral(" / "));
    return priorityOf(type) + oneLine.toStdString() + "\n";
}

void installJournal() {
    // Rules from QT_LOGGING_RULES and the logging configuration files still
    // win over this one, so an operator can turn debug lines back on.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(handleMessage);
}

JournalSink setJournalSink(JournalSink sink) {
    std::lock_guard guard(sinkLock());
    JournalSink previous = std::move(currentSink());
    currentSink() = sink ? std::move(sink) : JournalSink(writeToStderr);
    return previous;
}

}  // namespace pelm
