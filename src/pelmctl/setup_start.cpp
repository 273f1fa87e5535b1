// pelmctl setup's last step: the board starts now, the way it will start
// at every login, and setup waits until the board says it is up.

#include <signal.h>

#include <QDateTime>
#include <QProcess>
#include <chrono>
#include <thread>

#include "pelmctl/folder_preparation.h"
#include "pelmctl/setup_steps.h"
#include "platform/local_status_folder.h"
#include "platform/process_alive.h"
#include "venue/verdict.h"
#include "venuepc/local_board.h"

namespace pelmctl {
namespace {

using namespace std::chrono_literals;
using pelm::venue::Verdict;

// A board's start-up is retried every second; ten tries and more cover a
// slow disk or a display that takes a moment.
constexpr auto kUpWithin = 30s;
constexpr auto kGoneWithin = 15s;

std::optional<pelm::pc::LocalBoard> boardOf(const std::string& folder) {
    const auto statusFolder = pelm::existingLocalStatusFolder();
    if (!statusFolder) return std::nullopt;
    return pelm::pc::boardOfFolder(*statusFolder,
                                   pelm::canonicalFolder(QString::fromStdString(folder)));
}

bool runs(const std::optional<pelm::pc::LocalBoard>& board) {
    return board && board->verdict != Verdict::Stopped;
}

// Up: a live board that has refreshed, started no earlier than `since`.
bool isUp(const std::optional<pelm::pc::LocalBoard>& board, const QDateTime& since) {
    if (!runs(board) || board->verdict == Verdict::Starting ||
        board->verdict == Verdict::NotAnswering)
        return false;
    return !since.isValid() || board->status.startedAt >= since;
}

bool waitUntilUp(const std::string& folder, const QDateTime& since) {
    const auto deadline = std::chrono::steady_clock::now() + kUpWithin;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto board = boardOf(folder);
        if (isUp(board, since)) {
            report("the board is up (pid " + std::to_string(board->status.pid) +
                   "): " + pelm::venue::verdictWord(board->verdict).toStdString());
            return true;
        }
        std::this_thread::sleep_for(200ms);
    }
    return false;
}

// SIGTERM closes the board as the operator would, saving its settings.
void stopBoard(const pelm::pc::LocalBoard& board) {
    const auto pid = static_cast<pid_t>(board.status.pid);
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kGoneWithin;
    while (pelm::processRuns(pid, board.status.pidStartTicks) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    report("closed the board (pid " + std::to_string(pid) + ") to start it again");
}

// The desktop would start it as the autostart entry does: in the board's
// folder, in a session of its own, so closing this terminal leaves it be.
void launch(const SetupRequest& request) {
    QStringList arguments{"PelmDp"};
    if (request.screen) arguments << "--screen" << QString::number(*request.screen);
    QProcess process;
    process.setProgram("setsid");
    process.setArguments(arguments);
    process.setWorkingDirectory(QString::fromStdString(request.folder));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw PreparationFailure{"cannot start PelmDp: " + process.errorString().toStdString()};
    report("started the board in " + request.folder);
}

QDateTime startWithAutostart(const SetupRequest& request, const Changes& changes) {
    const auto board = boardOf(request.folder);
    if (runs(board) && !changes.needRestart) {
        report("the board runs already");
        return {};
    }
    if (runs(board)) stopBoard(*board);
    const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-1);
    launch(request);
    return since;
}

QDateTime startWithUnit(pelm::pc::UserManager& manager, const Changes& changes) {
    const bool active = manager.activeState(pelm::pc::kBoardUnit) == "active";
    if (active && !changes.needRestart) {
        report("pelmdp.service runs already");
        return {};
    }
    const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-1);
    const char* verb = active ? "restart" : "start";
    if (auto error = manager.run({verb, pelm::pc::kBoardUnit}))
        throw PreparationFailure{std::string("systemctl --user ") + verb +
                                 " pelmdp.service failed: " + *error};
    report(std::string(active ? "restarted" : "started") + " pelmdp.service");
    return since;
}

}  // namespace

bool startNow(const SetupRequest& request, pelm::pc::LoginWay way, pelm::pc::UserManager& manager,
              const Changes& changes) {
    const QDateTime since = way == pelm::pc::LoginWay::Autostart
                                ? startWithAutostart(request, changes)
                                : startWithUnit(manager, changes);
    return waitUntilUp(request.folder, since);
}

}  // namespace pelmctl
