// The board and how it starts: its program's version against the
// package's, the way it starts at login and whether that survives a
// reboot, and whether it runs and refreshes now.

#include "venuepc/auto_login.h"
#include "venuepc/doctor_checks.h"

namespace pelm::pc {
namespace {

std::string pidText(const Survey& survey) {
    return "pid " + std::to_string(survey.board->status.pid);
}

std::string boardVersion(const Survey& survey) {
    return survey.board->status.version.toStdString();
}

std::string sessionFix(const Survey& survey) {
    return survey.desktopSession() ? "pelmctl setup"
                                   : "run pelmctl doctor in a terminal of the board's desktop";
}

bool managerHasDisplay(const Survey& survey) {
    if (!survey.manager) return false;
    return survey.manager->contains("DISPLAY") || survey.manager->contains("WAYLAND_DISPLAY");
}

Check unitAtLogin(Survey& survey) {
    const std::string name = "start-at-login";
    const bool reached = survey.sources.userManager().activeState(kSessionTarget) == "active";
    if (!survey.desktopSession()) {
        return unknown(name,
                       "pelmdp.service is enabled; with no desktop session now, whether the "
                       "session reaches graphical-session.target cannot be told",
                       sessionFix(survey));
    }
    if (!reached) {
        return fail(name,
                    "pelmdp.service is enabled, but this session never reaches "
                    "graphical-session.target: the board will not start at login",
                    "pelmctl setup");
    }
    if (!managerHasDisplay(survey)) {
        return fail(name, "the session does not hand its display to the user manager",
                    "pelmctl setup");
    }
    return ok(name, "pelmdp.service is enabled and this session reaches graphical-session.target");
}

}  // namespace

Check checkVersion(Survey& survey) {
    const std::string name = "version";
    const auto installed = survey.sources.installedVersion();
    const auto pid = survey.runningPid();
    if (pid && survey.sources.programReplaced(*pid)) {
        return fail(name,
                    "the board (" + pidText(survey) + ") runs version " + boardVersion(survey) +
                        ", a program the last upgrade replaced" +
                        (installed ? " (pelm " + *installed + " is installed)" : ""),
                    restartCommand(survey));
    }
    if (!installed) {
        return unknown(name, "the package pelm is not installed: nothing to compare with",
                       "apt install ./pelm_*.deb", true);
    }
    if (!pid) return ok(name, "pelm " + *installed + " is installed; no board runs to compare");
    if (boardVersion(survey) != *installed) {
        return fail(name,
                    "the board (" + pidText(survey) + ") runs version " + boardVersion(survey) +
                        ", pelm " + *installed + " is installed",
                    restartCommand(survey));
    }
    return ok(name, "pelm " + *installed + "; the board (" + pidText(survey) + ") runs it");
}

Check checkStartAtLogin(Survey& survey) {
    const std::string name = "start-at-login";
    switch (survey.place.way) {
        case StartWay::UnitAndAutostart:
            return fail(name,
                        "both pelmdp.service and the autostart entry start a board: two boards "
                        "fight over PelmDp.ini",
                        "rm ~/.config/autostart/pelmdp-autostart.desktop");
        case StartWay::Unit:
            return unitAtLogin(survey);
        case StartWay::Autostart:
            return ok(name,
                      "the autostart entry starts the board at login (nothing restarts "
                      "a board that ends)");
        case StartWay::Kiosk:
            return ok(name, "~/.profile starts the board under cage on tty1 (a kiosk)");
        default:
            return fail(name, "nothing starts the board at login", "pelmctl setup");
    }
}

Check checkAutoLogin(Survey& survey) {
    const std::string name = "automatic-login";
    const std::string user = survey.sources.userName();
    const AutoLogin found = autoLoginOf(survey.sources.root());
    const std::string manager =
        found.manager == "getty" ? "tty1 (no display manager)" : found.manager;
    if (!found.known) {
        return unknown(name, manager + ": pelmctl does not know where it keeps automatic login",
                       "log " + user + " in automatically in " + manager + "'s settings", true);
    }
    if (found.user == user) return ok(name, manager + " logs " + user + " in automatically");
    const std::string who = found.user ? *found.user + ", not " + user : "nobody";
    return fail(name,
                manager + " logs " + who +
                    " in automatically: after a power-on the "
                    "board waits for somebody to log in",
                autoLoginCommand(found, user, survey.sources.root()), true);
}

Check checkBoardRuns(Survey& survey) {
    const std::string name = "board";
    const std::string folder = survey.place.folder.toStdString();
    if (!survey.runningPid()) return fail(name, "no board runs in " + folder, startCommand(survey));
    const LocalBoard& board = *survey.board;
    const int count = board.status.refreshesLastMinute;
    const std::string refreshes =
        std::to_string(count) + (count == 1 ? " refresh" : " refreshes") + " in the last minute";
    const std::string error = board.status.error ? board.status.error->toStdString() : "";
    const std::string check = "cd " + quoted(folder) + " && pelmctl check";
    switch (board.verdict) {
        case venue::Verdict::Fine:
            return ok(name, "runs and refreshes (" + refreshes + ")");
        case venue::Verdict::Waiting:
            return ok(name,
                      "runs and refreshes, waiting: the schedule is empty (" + refreshes + ")");
        case venue::Verdict::Starting:
            return unknown(name, "is starting", "pelmctl doctor");
        case venue::Verdict::NotAnswering:
            return fail(name, "runs but has not refreshed for over 2 s", restartCommand(survey));
        case venue::Verdict::Error:
            return fail(name, "shows an error: " + error, check);
        default:
            return fail(name, "cannot read the schedule: " + error, check);
    }
}

}  // namespace pelm::pc
