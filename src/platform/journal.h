#pragma once
// The board's journal: one line per event on stderr, UTF-8, with the syslog
// priority prefix ("<3>" error, "<4>" warning, "<6>" info) that journald
// reads from a service's output. Everything goes through Qt's logging, so
// Qt's own warnings land in the same journal with the same prefixes. In a
// user service whose stderr is the journal, each line goes to the journal
// directly instead, as one entry with its priority and unit.

#include <QLoggingCategory>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

namespace pelm {

/// The board's own category, "pelm.board". Debug lines stay off unless
/// QT_LOGGING_RULES turns them on ("pelm.board.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcBoard)

/// Where finished journal lines go; each call is one whole line with its
/// newline. The default writes to stderr, or to the journal (see above).
using JournalSink = std::function<void(std::string_view line)>;

/// Installs the message handler for the whole process, turns debug lines
/// off by default and picks the default sink. Call once, early, before the
/// first message.
void installJournal();

/// Replaces the sink and returns the one it replaces, so tests can listen
/// and put the old one back; an empty sink restores the default.
JournalSink setJournalSink(JournalSink sink);

/// The line for one message: its priority prefix, the text with every line
/// break folded into " / " (journald would split it), and a newline.
std::string journalLine(QtMsgType type, const QString& message);

}  // namespace pelm
