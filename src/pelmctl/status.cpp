// pelmctl status: whether the boards of this user (or of a whole venue) run
// and refresh, from the status files they keep.

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <iostream>

#include "engine/board_status.h"
#include "pelmctl/command.h"
#include "pelmctl/status_venue.h"
#include "pelmctl/venue_key_option.h"
#include "platform/local_status_folder.h"
#include "venue/verdict.h"
#include "venuepc/local_board.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp = R"(Usage: pelmctl status [--json] [--all]
  or:  pelmctl status --venue FOLDER [--venue-key FILE] [--json]

Shows whether the board of the current folder runs: its state, process,
start, how long ago it last refreshed and how often in the last minute, the
race shown as "Now", the previous race, the current error and whether the
PC's clock is synchronised (as its kernel sees it). It reads the
status file each running board keeps under $XDG_RUNTIME_DIR/pelm (or
/tmp/pelm-<uid>); that folder must belong to you and be closed to others,
as the board requires, or nothing in it is believed. Run outside a board's
folder (no PelmDp.ini there, as a monitoring script's own folder), it shows
every board of this user, as --all does.

Options:
  --all           every board of this user, not only that of this folder
  --venue FOLDER  every board's status copy in FOLDER ([Env] StatusDir of the
                  boards), from any host, by name, the boards in trouble
                  first. pelmctl watches the folder for up to 1.5 s: a board
                  whose copy does not change meanwhile is not answering
                  (each running board rewrites it every second), whatever
                  its clock says; a clock more than 2 s off this PC's is
                  shown. A folder that stalls, not answering within
                  2.5 s, is given up, naming the copies it could not
                  read. A board listed in FOLDER/expected-boards.txt (one
                  name per line) without a copy is missing; two copies that
                  claim one board, and a copy that is not the board's own,
                  are trouble
  --venue-key FILE  with --venue: believe only copies signed with this venue
                  key (made by `pelmctl venue-key`)
  --json          one JSON object instead of text

Exit status: 0 the board runs, refreshed within the last 2 s, shows races or
waits, and has no error; 1 it runs but is not answering, not connected,
starting or shows an error, or the status folder is refused; 3 no board runs
(no status file, a board that stopped, or a file left by a process that is
gone). With --all: 0 when every running board is fine, 1 when any is not, 3
when none runs. With --venue: 0 when every board is fine or waiting, 1 when
any is not, and when the folder holds no status copy, holds a damaged, forged
or unread one, cannot be read or does not answer in time; 2 wrong arguments.

Examples:
  pelmctl status
  pelmctl status --all --json
  pelmctl status --venue /srv/share/pelm-status
)";

constexpr int kExitNotRunning = 3;

using pelm::venue::Verdict;
using Board = pelm::pc::LocalBoard;

QString verdictName(Verdict verdict) {
    return pelm::venue::verdictWord(verdict);
}

// The status folder as the board would accept it; nothing (and a message)
// when it is refused, so a folder another user made cannot say "fine".
std::optional<QString> trustedStatusFolder(bool& refused) {
    QString problem;
    const auto folder = pelm::existingLocalStatusFolder(&problem);
    refused = !folder && !problem.isEmpty();
    if (refused)
        std::cerr << "pelmctl: status folder refused, nothing in it is believed: "
                  << problem.toStdString() << "\n";
    return folder;
}

// --- output --------------------------------------------------------------

std::string text(const QString& utf16) {
    return utf16.toStdString();
}

QString ageText(std::optional<qint64> ageMs) {
    if (!ageMs) return "never";
    if (*ageMs < 0) return "in the future (clocks differ)";
    if (*ageMs < 10000) return QString::number(*ageMs / 1000.0, 'f', 1) + " s ago";
    if (*ageMs < 120000) return QString::number(*ageMs / 1000) + " s ago";
    if (*ageMs < 7200000) return QString::number(*ageMs / 60000) + " min ago";
    return QString::number(*ageMs / 3600000) + " h ago";
}

QString raceText(const pelm::ShownRace& race) {
    return (race.start + "-" + race.end + " " + race.title).trimmed();
}

QString nowText(const pelm::BoardStatus& status) {
    return status.rows.isEmpty() ? QString("-") : raceText(status.rows.first());
}

QString errorText(const pelm::BoardStatus& status) {
    if (!status.error) return "none";
    return *status.error + QString(" (%1 times)").arg(status.errorCount);
}

// Boards from before the clock was reported say nothing of it.
QString clockText(const pelm::BoardStatus& status) {
    if (!status.clockSynchronised) return "unknown";
    QString clock = *status.clockSynchronised ? "synchronised" : "not synchronised";
    if (status.clockMaxErrorMs)
        clock += QString(" (error up to %1 ms)").arg(*status.clockMaxErrorMs);
    return clock;
}

QString readText(const pelm::BoardStatus& status) {
    if (!status.dataReadMs) return {};
    QString read = QString(", read in %1 ms").arg(*status.dataReadMs);
    if (status.dataReadSlowestMs)
        read += QString(", the slowest %1 ms in the last minute").arg(*status.dataReadSlowestMs);
    return read;
}

// Each folder with where it lies; one that may stall is worked on by a
// helper, off the board's window, and a share getting slow shows in how
// long the data folder's reads take.
void printFolders(const pelm::BoardStatus& status) {
    for (const pelm::FolderUse& folder : status.folders) {
        const QString label = folder.role == "data" ? "data folder" : folder.role;
        QString line = QString("  %1 %2 (%3%4)")
                           .arg(label.leftJustified(14), folder.path,
                                folder.fileSystem.isEmpty() ? "?" : folder.fileSystem,
                                folder.mayStall ? ": may stall, read by a helper" : "");
        if (folder.role == "data") line += readText(status);
        std::cout << text(line) << "\n";
        if (!folder.note.isEmpty())
            std::cout << "                 warning: " << text(folder.note) << "\n";
    }
}

void printBoard(const Board& board) {
    const pelm::BoardStatus& s = board.status;
    std::cout << "Board in " << text(s.workingFolder) << ": " << text(verdictName(board.verdict))
              << "\n"
              << "  state          " << text(pelm::stateName(s.state)) << "\n"
              << "  process        " << s.pid << " on " << text(s.host) << ", version "
              << text(s.version) << "\n"
              << "  started        " << text(s.startedAt.toString(Qt::ISODate)) << "\n"
              << "  last refresh   " << text(ageText(board.ageMs)) << ", " << s.refreshesLastMinute
              << " in the last minute\n"
              << "  now            " << text(nowText(s)) << "\n"
              << "  previous race  " << text(s.previousRace.isEmpty() ? "-" : s.previousRace)
              << "\n"
              << "  error          " << text(errorText(s)) << "\n"
              << "  clock          " << text(clockText(s)) << "\n";
    printFolders(s);
}

QJsonObject boardJson(const Board& board) {
    QJsonObject object = pelm::statusObject(board.status);
    object["verdict"] = verdictName(board.verdict);
    object["refreshAgeMs"] = board.ageMs ? QJsonValue(*board.ageMs) : QJsonValue();
    return object;
}

void printJson(const QJsonObject& object) {
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

QJsonObject boardsJson(const std::vector<Board>& boards) {
    QJsonArray array;
    for (const Board& board : boards) array.append(boardJson(board));
    return QJsonObject{{"boards", array}};
}

// --- the three forms -----------------------------------------------------

int exitFor(const std::vector<Board>& boards) {
    bool anyRuns = false, allFine = true;
    for (const Board& board : boards) {
        if (board.verdict == Verdict::Stopped) continue;
        anyRuns = true;
        allFine = allFine && pelm::pc::doesItsJob(board.verdict);
    }
    if (!anyRuns) return kExitNotRunning;
    return allFine ? kExitOk : kExitFailed;
}

int showAll(bool json);

int showThisFolder(bool json) {
    const QString folder = pelm::canonicalFolder(QDir::currentPath());
    bool refused = false;
    const auto statusFolder = trustedStatusFolder(refused);
    if (refused) return kExitFailed;
    std::optional<pelm::BoardStatus> status;
    if (statusFolder)
        status = pelm::pc::readLocalStatus(*statusFolder + "/" +
                                           pelm::localStatusName(pelm::boardKey(folder)));
    if (!status && !QFileInfo::exists(folder + "/PelmDp.ini")) {
        if (!json)
            std::cout << "No PelmDp.ini in " << text(folder) << ": every board of this user\n";
        return showAll(json);
    }
    if (!status) {
        if (json)
            printJson({{"workingFolder", folder}, {"verdict", verdictName(Verdict::Stopped)}});
        else
            std::cout << "No board runs in " << text(folder) << "\n";
        return kExitNotRunning;
    }
    const Board board = pelm::pc::localBoard(*status);
    json ? printJson(boardJson(board)) : printBoard(board);
    return exitFor({board});
}

int showAll(bool json) {
    bool refused = false;
    const auto statusFolder = trustedStatusFolder(refused);
    if (refused) return kExitFailed;
    std::vector<Board> boards;
    if (statusFolder) {
        for (auto& status : pelm::pc::localStatuses(*statusFolder))
            boards.push_back(pelm::pc::localBoard(std::move(status)));
    }
    if (json)
        printJson(boardsJson(boards));
    else if (boards.empty())
        std::cout << "No board runs\n";
    for (const Board& board : boards) {
        if (!json) printBoard(board);
    }
    return exitFor(boards);
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("status takes no words, only options");
    const bool json = arguments.flag("--json");
    if (auto venue = arguments.option("--venue")) {
        if (arguments.flag("--all"))
            return usageError("--venue lists every board already; drop --all");
        std::optional<pelm::VenueKey> key;
        if (!venueKeyOption(arguments, key)) return kExitFailed;
        return showVenue(QString::fromStdString(*venue), json, key);
    }
    return arguments.flag("--all") ? showAll(json) : showThisFolder(json);
}

const CommandRegistration registration({"status",
                                        "whether the boards run and refresh",
                                        kHelp,
                                        {"--venue", "--venue-key"},
                                        {"--json", "--all"},
                                        run});

}  // namespace
}  // namespace pelmctl
