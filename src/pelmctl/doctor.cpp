// pelmctl doctor: checks the venue PC as a careful administrator would,
// one line a check, and gives the command that mends each fault.

#include "venuepc/doctor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <iostream>

#include "pelmctl/command.h"

namespace pelmctl {
namespace {

using pelm::pc::Check;
using pelm::pc::Verdict;

constexpr std::string_view kHelp = R"(Usage: pelmctl doctor [--folder DIR] [--json]

Checks this PC as the board needs it, one line a check: ✔ fine, ✖ a fault,
? cannot be told. Under each ✖ stands the command that mends it, marked
"as root" where only root can run it; under each ? how to find out.

  version          the package's version and the running board's (a board
                   still running a program an upgrade replaced)
  start-at-login   how the board starts at login, and whether that survives
                   a reboot (pelmdp.service enabled and the session reaching
                   graphical-session.target, or the autostart entry)
  automatic-login  the display manager logs the board's user in by itself
  board            the board runs and refreshes
  data-folder      the data folder answers, and how fast
  share-mount      a writer's share is mounted with the options the
                   writer's share guide asks for
  status-folder    the StatusDir takes the board's status copy
  clock            the system clock is synchronised, and its error
  time-server      a time service is enabled, and its servers
  screen-blanking  the screen is kept from blanking, or blanking is off
  time-format      the time format of the board's locale
  free-space       room for the race table

Run it as the board's user, best in a terminal of the board's desktop: from
elsewhere the desktop cannot be asked about its session and blanking.

Options:
  --folder DIR  the board's folder (default: where pelmdp.service or the
                autostart entry starts the board, else ~/pelm)
  --json        one JSON object instead: {"checks": [{"check", "verdict"
                ("ok", "fail" or "unknown"), "detail", "fix"}, …]}, "fix" on
                every check that is not ok, starting "as root: " where it is
                root's

Exit status: 0 no check found a fault (some may be unknown), 1 a check found
a fault, 2 wrong arguments.

Examples:
  pelmctl doctor
  pelmctl doctor --json
)";

std::string mark(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return "✔";
        case Verdict::Fail:
            return "✖";
        default:
            return "?";
    }
}

std::string fixText(const Check& check) {
    return (check.fixAsRoot ? "as root: " : "") + check.fix;
}

void printText(const std::vector<Check>& checks, const QString& folder) {
    std::cout << "pelmctl doctor: the board in " << folder.toStdString() << "\n";
    for (const Check& check : checks) {
        std::cout << mark(check.verdict) << " " << check.name
                  << std::string(17 - std::min<size_t>(16, check.name.size()), ' ') << check.detail
                  << "\n";
        if (check.verdict == Verdict::Ok) continue;
        std::cout << (check.verdict == Verdict::Fail ? "    mend" : "    find out")
                  << (check.fixAsRoot ? " as root: " : ": ") << check.fix << "\n";
    }
}

void printSummary(const std::vector<Check>& checks) {
    auto count = [&](auto wanted) { return std::count_if(checks.begin(), checks.end(), wanted); };
    const auto faults = count([](const Check& c) { return c.verdict == Verdict::Fail; });
    const auto root =
        count([](const Check& c) { return c.verdict == Verdict::Fail && c.fixAsRoot; });
    const auto unknown = count([](const Check& c) { return c.verdict == Verdict::Unknown; });
    std::cout << faults << " to mend (" << root << " as root), " << unknown << " unknown\n";
}

void printJson(const std::vector<Check>& checks) {
    QJsonArray array;
    for (const Check& check : checks) {
        QJsonObject object{{"check", QString::fromStdString(check.name)},
                           {"verdict", pelm::pc::verdictWord(check.verdict)},
                           {"detail", QString::fromStdString(check.detail)}};
        if (check.verdict != Verdict::Ok) object["fix"] = QString::fromStdString(fixText(check));
        array.append(object);
    }
    std::cout << QJsonDocument(QJsonObject{{"checks", array}})
                     .toJson(QJsonDocument::Compact)
                     .toStdString()
              << "\n";
}

int run(const Arguments& arguments) {
    if (!arguments.positional.empty()) return usageError("doctor takes no words, only options");
    const auto sources = pelm::pc::pcSources();
    const pelm::pc::BoardPlace place =
        pelm::pc::findBoardPlace(*sources, arguments.option("--folder"));
    const std::vector<Check> checks = pelm::pc::runDoctor(*sources, place);
    if (arguments.flag("--json")) {
        printJson(checks);
    } else {
        printText(checks, place.folder);
        printSummary(checks);
    }
    const bool faults = std::any_of(checks.begin(), checks.end(),
                                    [](const Check& c) { return c.verdict == Verdict::Fail; });
    return faults ? kExitFailed : kExitOk;
}

const CommandRegistration registration(Command{
    .name = "doctor",
    .summary = "check this PC as the board needs it, and say how to mend it",
    .help = kHelp,
    .valueOptions = {"--folder"},
    .flagOptions = {"--json"},
    .run = run,
});

}  // namespace
}  // namespace pelmctl
