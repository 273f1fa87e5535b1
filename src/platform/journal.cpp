#include "platform/journal.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <systemd/sd-login.h>
#include <unistd.h>

#include <QRegularExpression>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

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

// Whether stderr is the service manager's stream into the journal, which
// JOURNAL_STREAM names by device and inode: a child's stderr redirected
// elsewhere keeps the variable but not the stream.
bool stderrIsTheJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    if (!stream || std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
    struct stat status {};
    return fstat(STDERR_FILENO, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

// Lines sent straight to the journal, naming the user unit they belong to.
// The journal ties a stream's line to a user unit by looking at the
// process that wrote it; a board that has ended by the time the journal
// reads the line (one that logs and exits) would leave it out of
// `journalctl --user -u`. A datagram that carries the unit is found there
// whenever it is read. (A system unit's stream names its unit itself.)
class NativeJournal {
public:
    /// For a process of a user unit; nothing otherwise.
    static std::optional<NativeJournal> ofUserUnit() {
        char* unit = nullptr;
        if (sd_pid_get_user_unit(0, &unit) < 0) return std::nullopt;
        NativeJournal journal(std::string("USER_UNIT=") + unit);
        std::free(unit);
        return journal;
    }

    void operator()(std::string_view line) const {
        // journalLine's form: "<N>" text "\n".
        const std::string priority = std::string("PRIORITY=") + line[1];
        const std::string message = "MESSAGE=" + std::string(line.substr(3, line.size() - 4));
        std::array<iovec, 4> fields{entry(message), entry(priority), entry(identifier_),
                                    entry(unit_)};
        if (sd_journal_sendv(fields.data(), static_cast<int>(fields.size())) < 0)
            writeToStderr(line);
    }

private:
    explicit NativeJournal(std::string unit)
        : identifier_(std::string("SYSLOG_IDENTIFIER=") + program_invocation_short_name),
          unit_(std::move(unit)) {}

    static iovec entry(const std::string& field) {
        return {const_cast<char*>(field.data()), field.size()};
    }

    std::string identifier_;
    std::string unit_;
};

// Where lines go when no test listens: stderr, or the journal itself once
// installJournal finds stderr is the journal's stream.
JournalSink& defaultSink() {
    static JournalSink sink = writeToStderr;
    return sink;
}

JournalSink& currentSink() {
    static JournalSink sink = defaultSink();
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
    if (stderrIsTheJournal()) {
        if (auto native = NativeJournal::ofUserUnit()) {
            std::lock_guard guard(sinkLock());
            defaultSink() = *native;
            currentSink() = defaultSink();
        }
    }
    qInstallMessageHandler(handleMessage);
}

JournalSink setJournalSink(JournalSink sink) {
    std::lock_guard guard(sinkLock());
    JournalSink previous = std::move(currentSink());
    currentSink() = sink ? std::move(sink) : defaultSink();
    return previous;
}

}  // namespace pelm
