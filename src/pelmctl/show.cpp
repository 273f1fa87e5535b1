// pelmctl show: one refresh exactly as the board runs it, printed.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <iostream>
#include <memory>

#include "engine/board_connection.h"
#include "engine/board_rules.h"
#include "engine/board_runner.h"
#include "engine/board_state.h"
#include "engine/race_table_file.h"
#include "pelmctl/board_folder.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "sqlengine/folder_driver.h"
#include "sqlengine/table_file.h"

namespace pelmctl {
namespace {

constexpr std::string_view kHelp =
    "Usage: pelmctl show [--data DIR] [--at TIME] [--json]\n\n"
    "Runs one refresh of the board, without a window, against the data folder\n"
    "of ./PelmDp.ini and prints what the board would show. The refresh fills a\n"
    "race table of its own in a temporary folder: the table of a running board\n"
    "is never written or locked.\n\n"
    "Options:\n"
    "  --data DIR   use this data folder instead of DataDir of ./PelmDp.ini\n"
    "  --at TIME    refresh as if the clock showed TIME (for example 10:40:00)\n"
    "  --json       print one JSON object: state, clock, previous, curtain, rows,\n"
    "               notice, notice_shown, upper_height (for a 710-pixel window), error\n\n"
    "Exit status: 0 the refresh completed, 1 the board would show a problem (the\n"
    "schedule cannot be read, the refresh failed), 2 wrong arguments or no\n"
    "./PelmDp.ini and no --data, 3 the engine configuration or the database\n"
    "cannot be opened.\n\n"
    "Examples:\n  pelmctl show --data /srv/pelm/data --at 10:40:00\n"
    "  pelmctl show --json | python3 -m json.tool\n";

struct ShowResult {
    std::string state;
    pelm::Cp932 error;
    pelm::RecordingBoard board;
};

// One start-up and one refresh, as the board runs them, noted down. A line
// the refresh left out still leaves a running board; its message is the error.
class ShowEvents : public pelm::RunnerEvents {
public:
    explicit ShowEvents(ShowResult& result) : result_(result) {}
    void startFailed(const pelm::Cp932& message, bool) override { startFailure = message; }
    void connectionLost(const pelm::Cp932& message) override { fail(message); }
    void refreshFailed(const pelm::Cp932& message) override { fail(message); }
    void refreshed(const pelm::RefreshCycle&, pelm::BoardState state,
                   const std::optional<pelm::Cp932>& problem) override {
        result_.state = pelm::stateName(state).toStdString();
        if (problem) result_.error = *problem;
    }

    pelm::Cp932 startFailure;

private:
    void fail(const pelm::Cp932& message) {
        result_.state = "error";
        result_.error = message;
    }
    ShowResult& result_;
};

// The race table show refreshes: a fresh one in a temporary folder, opened
// through the board's own alias, so the answer is the board's while a board
// using the real table is never disturbed.
class PrivateTable {
public:
    std::unique_ptr<pelm::Database> connect(const pelm::Cp932& tableFolder) {
        pelm::usableFolder(tableFolder);  // a folder the board could not use fails as it would
        if (!folder_.isValid())
            throw pelm::Error(
                pelm::toCp932("cannot make a temporary folder: " + folder_.errorString()));
        const std::string path = QDir::toNativeSeparators(folder_.path()).toStdString();
        pelm::createRaceTableFile(path);
        return pelm::connectBoardDatabase(pelm::utf8ToCp932(path));
    }

private:
    QTemporaryDir folder_{QDir::tempPath() + "/pelmctl-show-XXXXXX"};
};

QString text(const pelm::Cp932& cp932) {
    return pelm::fromCp932(cp932);
}

QJsonArray rowsJson(const pelm::ResultSet* rows) {
    QJsonArray array;
    if (!rows) return array;
    for (std::size_t row = 0; row < rows->rows.size(); ++row) {
        QJsonObject object;
        for (const char* field : {"btime", "kara", "etime", "rmenu", "stime"}) {
            int column = rows->columnIndex(field);
            object[field] = column < 0 ? QString() : text(rows->text(row, column));
        }
        array.append(object);
    }
    return array;
}

void printJson(const ShowResult& result) {
    const pelm::RecordingBoard& board = result.board;
    QJsonObject object{
        {"state", QString::fromStdString(result.state)}, {"clock", text(board.clockText)},
        {"previous", text(board.previousRace)},          {"curtain", board.curtainVisible},
        {"rows", rowsJson(board.upcoming.get())},        {"notice", text(board.notice)},
        {"notice_shown", board.noticeVisible},           {"upper_height", board.upperAreaHeight}};
    if (!result.error.empty()) object["error"] = text(result.error);
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << "\n";
}

void printRows(const pelm::ResultSet& rows) {
    auto field = [&](std::size_t row, const char* name) {
        int column = rows.columnIndex(name);
        return column < 0 ? std::string() : terminalText(rows.text(row, column));
    };
    for (std::size_t row = 0; row < rows.rows.size() && row < pelm::kVisibleRows; ++row) {
        std::cout << "  " << pelm::rowLabel(row) << "\t" << field(row, "btime") << " "
                  << field(row, "kara") << " " << field(row, "etime") << "  " << field(row, "rmenu")
                  << "\n";
    }
    if (rows.rows.size() > pelm::kVisibleRows)
        std::cout << "  (" << rows.rows.size() - pelm::kVisibleRows << " more below the screen)\n";
}

void printPicture(const ShowResult& result) {
    const pelm::RecordingBoard& board = result.board;
    std::cout << "Clock     " << terminalText(board.clockText) << "\n"
              << "Previous  " << terminalText(board.previousRace) << "\n";
    if (board.curtainVisible) {
        std::cout << "  (waiting: the grid is behind the curtain)\n";
    } else if (board.upcoming) {
        printRows(*board.upcoming);
    }
    if (board.noticeVisible) std::cout << "Notice\n" << terminalText(board.notice);
    if (!result.error.empty()) std::cout << "Error     " << terminalText(result.error) << "\n";
}

std::unique_ptr<pelm::Clock> clockFor(const Arguments& arguments) {
    auto at = arguments.option("--at");
    if (!at) return std::make_unique<pelm::SystemClock>();
    auto time = pelm::parseTimeOfDay(pelm::utf8ToCp932(*at).view(), pelm::currentLocaleTime());
    if (!time) return nullptr;
    return std::make_unique<pelm::FixedClock>(*time);
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("show takes no words, only options");
    useSystemLocale();
    std::unique_ptr<pelm::Clock> clock = clockFor(arguments);
    if (!clock) return usageError("--at " + *arguments.option("--at") + " is no time of day");
    std::optional<pelm::BoardSettings> settings = boardSettingsFor(arguments);
    if (!settings) return kExitUsage;

    ShowResult result;
    ShowEvents events(result);
    PrivateTable table;
    pelm::BoardRunner runner(
        *settings, *clock, result.board, events,
        [&table](const pelm::Cp932& folder) { return table.connect(folder); },
        pelm::TableUse::Private);
    if (!runner.start()) {
        std::cerr << "pelmctl: cannot open the database: " << terminalText(events.startFailure)
                  << "\n";
        return kExitCannotRun;
    }
    runner.tick();
    // A share's answer comes after the first beat; the board would show it
    // at a later one.
    if (runner.settle(pelm::DataFileReader::kLostAfter)) runner.tick();
    if (result.state.empty()) {
        result.state = "not connected";
        result.error = pelm::utf8ToCp932("フォルダ '") + settings->dataDir +
                       pelm::utf8ToCp932("' が応答しません");
    }
    arguments.flag("--json") ? printJson(result) : printPicture(result);
    const bool fine = result.error.empty() && result.state != "not connected";
    return fine ? kExitOk : kExitFailed;
}

const CommandRegistration registration({"show",
                                        "run one refresh without a window and print the board",
                                        kHelp,
                                        {"--data", "--at"},
                                        {"--json"},
                                        run});

}  // namespace
}  // namespace pelmctl
