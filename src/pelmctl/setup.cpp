// pelmctl setup: a venue PC's board in one command, run by the board's user
// after installing the package: the board's folder, its settings, its
// start at every login the way this session allows, and the board up now.
// It first finds out whether every step can work, and refuses, changing
// nothing, where one cannot.

#include <unistd.h>

#include <QDir>
#include <filesystem>
#include <iostream>
#include <variant>

#include "pelmctl/command.h"
#include "pelmctl/folder_preparation.h"
#include "pelmctl/setup_steps.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/local_status_folder.h"
#include "venuepc/autostart_entry.h"
#include "venuepc/folder_safety.h"
#include "venuepc/local_board.h"
#include "venuepc/share_look.h"

namespace fs = std::filesystem;

namespace pelmctl {
namespace {

using pelm::pc::LoginWay;

constexpr std::string_view kHelp =
    R"(Usage: pelmctl setup [--folder DIR] [--data FOLDER] [--name NAME]
         [--status-dir FOLDER] [--fullscreen | --windowed] [--screen N]

Sets this PC up to show the board, as the board's user, in a terminal of its
desktop, after the package is installed:
  - makes the board's folder (default ~/pelm) and prepares it as pelmctl init
    does: a data folder (default FOLDER/data) with its race table and empty
    schedule and notice, the alias Pelm and PelmDp.ini;
  - sets in PelmDp.ini what the options name, and nothing else;
  - has the board start at every login the way this session allows: the user
    service pelmdp.service where the session reaches graphical-session.target
    (handing it the display where the session does not), else the desktop's
    autostart entry; never both;
  - where the X server blanks the screen and the desktop offers no way to ask
    it not to, turns blanking off, now and at every login;
  - starts the board, or starts it again where a change needs it, and waits
    until it says it is up.
Run again, it changes only what it is told to: every other setting stays.

It refuses, changing nothing, where a step cannot work: no display session,
a data or status folder that does not exist, a board's folder that another
user can write (or a folder above it), a board already running from another
folder, a package that is not installed, a run as root.

Options:
  --folder DIR         the board's folder (default ~/pelm)
  --data FOLDER        the data folder the schedule writer fills (must exist)
  --name NAME          the screen's name in the control room ([Env] Name)
  --status-dir FOLDER  the venue's status folder ([Env] StatusDir, must exist)
  --fullscreen         cover the screen ([Env] FullScreen=1)
  --windowed           the designed window ([Env] FullScreen=0)
  --screen N           the monitor to cover, 0 the first

Exit status: 0 the board is up and starts at every login, 1 a step was
refused or failed, or the board did not come up, 2 wrong arguments.

Then check the PC with pelmctl doctor, which also names root's steps
(automatic login, the time server).

Examples:
  pelmctl setup --fullscreen --name パドック
  pelmctl setup --data /mnt/venue/pelm --status-dir /mnt/venue/pelm-status
)";

struct Refusal {
    std::string reason;
};

std::string absolute(const std::string& path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(path)))
        .toStdString();
}

std::optional<std::string> absoluteOption(const Arguments& arguments, std::string_view name) {
    const auto value = arguments.option(name);
    return value ? std::optional(absolute(*value)) : std::nullopt;
}

std::optional<int> screenNumber(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

// Nothing when the arguments make a request, after saying what is wrong.
std::optional<SetupRequest> requestOf(const Arguments& arguments) {
    SetupRequest request{
        absolute(arguments.option("--folder").value_or(QDir::homePath().toStdString() + "/pelm")),
        absoluteOption(arguments, "--data"),
        arguments.option("--name"),
        absoluteOption(arguments, "--status-dir"),
        std::nullopt,
        std::nullopt};
    if (arguments.flag("--fullscreen") && arguments.flag("--windowed"))
        return usageError("--fullscreen and --windowed exclude each other"), std::nullopt;
    if (arguments.flag("--fullscreen") || arguments.flag("--windowed"))
        request.fullScreen = arguments.flag("--fullscreen");
    if (auto screen = arguments.option("--screen")) {
        request.screen = screenNumber(*screen);
        if (!request.screen)
            return usageError("--screen wants a monitor number (0, 1, ...), not '" + *screen + "'"),
                   std::nullopt;
    }
    if (request.name && pelm::cp932ToUtf8(pelm::utf8ToCp932(*request.name)) != *request.name)
        return usageError("--name holds characters Shift-JIS cannot write"), std::nullopt;
    return request;
}

// --- what is found out before anything changes --------------------------------

void needFolder(const std::optional<std::string>& folder, std::string_view role) {
    if (!folder) return;
    const auto facts = pelm::pc::boundedLook(*folder);
    if (!facts) throw Refusal{std::string(role) + " " + *folder + " stalled: it does not answer"};
    if (facts->kind == pelm::PathFacts::Kind::Nothing)
        throw Refusal{std::string(role) + " " + *folder +
                      " does not exist: mount the share, or make the folder, first"};
    if (facts->kind != pelm::PathFacts::Kind::Folder)
        throw Refusal{std::string(role) + " " + *folder + " is no folder"};
}

void needSafeFolder(const std::string& folder) {
    if (auto problem = pelm::pc::othersCanWrite(folder, getuid(), getgid()))
        throw Refusal{*problem +
                      ": another user could put files where the board reads its "
                      "settings; choose another --folder"};
}

void needNoOtherBoard(const std::string& folder) {
    const auto statusFolder = pelm::existingLocalStatusFolder();
    if (!statusFolder) return;
    const QString ours = pelm::canonicalFolder(QString::fromStdString(folder));
    for (auto& status : pelm::pc::localStatuses(*statusFolder)) {
        const auto board = pelm::pc::localBoard(std::move(status));
        if (board.verdict == pelm::venue::Verdict::Stopped || board.status.workingFolder == ours)
            continue;
        throw Refusal{"a board already runs from " + board.status.workingFolder.toStdString() +
                      " (pid " + std::to_string(board.status.pid) +
                      "): stop it first, or set that folder up with --folder"};
    }
}

std::optional<std::string> variable(const char* name) {
    if (qEnvironmentVariable(name).isEmpty()) return std::nullopt;
    return qEnvironmentVariable(name).toStdString();
}

bool names(const std::optional<pelm::pc::Environment>& environment, const char* name) {
    return environment && environment->contains(name) && !environment->at(name).empty();
}

pelm::pc::SessionFacts sessionFacts(pelm::pc::UserManager& manager) {
    const auto environment = manager.environment();
    pelm::pc::SessionFacts facts;
    facts.managerAnswers = environment.has_value();
    facts.managerHasDisplay =
        names(environment, "DISPLAY") || names(environment, "WAYLAND_DISPLAY");
    facts.display = variable("DISPLAY") || variable("WAYLAND_DISPLAY") || facts.managerHasDisplay;
    facts.targetReached = manager.activeState(pelm::pc::kSessionTarget) == "active";
    facts.unitInstalled = pelm::pc::unitInstalled(manager, pelm::pc::kBoardUnit);
    facts.autostartInstalled = fs::is_regular_file(pelm::pc::kAutostartTemplate);
    return facts;
}

LoginWay chooseWay(const SetupRequest& request, pelm::pc::UserManager& manager) {
    const auto way = pelm::pc::chooseLoginWay(sessionFacts(manager));
    if (const auto* refusal = std::get_if<std::string>(&way)) throw Refusal{*refusal};
    if (std::get<LoginWay>(way) == LoginWay::Autostart && !pelm::pc::fitsExecLine(request.folder))
        throw Refusal{
            "the folder's name holds a quote, backslash, dollar, backquote or percent "
            "sign, which an autostart entry cannot carry; choose another --folder"};
    return std::get<LoginWay>(way);
}

LoginWay checkEveryStep(const SetupRequest& request, pelm::pc::UserManager& manager) {
    needSafeFolder(request.folder);
    needFolder(request.data, "the data folder");
    needFolder(request.statusDir, "the status folder");
    needNoOtherBoard(request.folder);
    const LoginWay way = chooseWay(request, manager);
    if (geteuid() == 0)
        throw Refusal{
            "run it as the board's user, not as root: the board never runs as root, "
            "and systemctl --user would reach root's own service manager"};
    return way;
}

// --- the steps ----------------------------------------------------------------

int setUp(const SetupRequest& request, LoginWay way, pelm::pc::UserManager& manager) {
    Changes changes;
    prepareFolder(request, changes);
    startAtLogin(request, way, manager, changes);
    if (!startNow(request, way, manager, changes)) {
        std::cerr << "pelmctl: the board did not say it is up within 30 s; its journal tells "
                     "why: journalctl --user -u pelmdp (or ~/.xsession-errors)\n";
        return kExitFailed;
    }
    // After the board is up: an X server with no client left resets its
    // screen saver to the defaults.
    keepScreenAwake(variable("DISPLAY"));
    std::cout << "\nDone. Check the PC, and see root's steps (automatic login, the time "
                 "server): pelmctl doctor\n";
    return kExitOk;
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("setup takes no words, only options");
    const auto request = requestOf(arguments);
    if (!request) return kExitUsage;
    const auto manager = pelm::pc::systemctlUserManager();
    LoginWay way;
    try {
        way = checkEveryStep(*request, *manager);
    } catch (const Refusal& refusal) {
        std::cerr << "pelmctl: setup refused, nothing was changed: " << refusal.reason << "\n";
        return kExitFailed;
    }
    std::cout << "pelmctl setup: the board in " << request->folder << "\n";
    try {
        return setUp(*request, way, *manager);
    } catch (const PreparationFailure& failure) {
        std::cerr << "pelmctl: " << failure.message << "\n";
    } catch (const pelm::Error& error) {
        std::cerr << "pelmctl: " << terminalText(error.message()) << "\n";
    }
    return kExitFailed;
}

const CommandRegistration registration(Command{
    .name = "setup",
    .summary = "set this PC up to show the board at every login, and start it",
    .help = kHelp,
    .valueOptions = {"--folder", "--data", "--name", "--status-dir", "--screen"},
    .flagOptions = {"--fullscreen", "--windowed"},
    .run = run,
});

}  // namespace
}  // namespace pelmctl
