// The PC's clock and screen: the clock synchronised and how far off it
// may be, the time service and its servers, the screen kept from blanking,
// and the time format the board's locale gives its clock.

#include <QLocale>

#include "platform/codepage.h"
#include "platform/time_of_day.h"
#include "venuepc/doctor_checks.h"
#include "venuepc/screen_blanking.h"
#include "venuepc/time_service.h"

namespace pelm::pc {
namespace {

using namespace std::chrono_literals;

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

std::string restartTimeService(const TimeService& service) {
    if (service.name == "chrony") return "systemctl restart chrony && chronyc tracking";
    if (service.name.empty()) return "apt install systemd-timesyncd";
    return "systemctl restart " + service.name + " && timedatectl timesync-status";
}

std::optional<std::string> variable(const Environment& environment, const char* name) {
    const auto found = environment.find(name);
    if (found == environment.end() || found->second.empty()) return std::nullopt;
    return found->second;
}

// The board's environment: its unit's over the user manager's, or, started
// by the desktop, the session's own, which doctor shares.
std::string boardLocale(Survey& survey) {
    Environment environment;
    if (survey.place.way == StartWay::Unit && survey.manager) {
        environment = *survey.manager;
        const std::string own = survey.sources.userManager().property(kBoardUnit, "Environment");
        for (auto& [key, value] : unitEnvironment(own)) environment[key] = value;
    } else {
        for (const char* name : {"LC_ALL", "LC_TIME", "LANG"})
            environment[name] = survey.sources.ownVariable(name).value_or("");
    }
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        if (auto value = variable(environment, name)) return *value;
    }
    return "C";
}

Check xBlanking(Survey& survey, const std::string& display) {
    const std::string name = "screen-blanking";
    const auto query = survey.sources.xsetQuery(display);
    const auto blanking = query ? parseXsetQuery(*query) : std::nullopt;
    if (!blanking)
        return unknown(name, "xset cannot ask the X server " + display,
                       "apt install x11-xserver-utils", true);
    const int after = blanksAfter(*blanking);
    if (after == 0) return ok(name, "off: the X server has no screen saver and no DPMS timeout");
    return fail(name,
                "the X server blanks the screen after " + std::to_string(after) +
                    " s and nothing inhibits it",
                "pelmctl setup");
}

bool isGnome(Survey& survey) {
    return survey.sources.ownVariable("XDG_CURRENT_DESKTOP").value_or("").find("GNOME") !=
           std::string::npos;
}

}  // namespace

Check checkClock(Survey& survey) {
    const std::string name = "clock";
    const auto sync = survey.sources.clock();
    const TimeService service = timeServiceOf(survey.sources.root());
    if (!sync) return unknown(name, "the kernel does not say", "timedatectl");
    if (!sync->synchronised)
        return fail(name, "not synchronised: the board shows this PC's own idea of the time",
                    restartTimeService(service), true);
    return ok(name, "synchronised, off by at most " + std::to_string(sync->maxErrorMs) + " ms");
}

Check checkTimeServer(Survey& survey) {
    const std::string name = "time-server";
    const TimeService service = timeServiceOf(survey.sources.root());
    if (service.name.empty()) {
        const std::string fix = service.installedOff.empty()
                                    ? "apt install systemd-timesyncd"
                                    : "systemctl enable --now " + service.installedOff;
        return fail(name, "no time service keeps the clock right", fix, true);
    }
    if (service.servers.empty())
        return ok(name, service.name +
                            " asks its default servers (Debian's pool, on the "
                            "Internet); a venue time server: step 8 of the venue PC guide "
                            "(/usr/share/doc/pelm/docs/)");
    return ok(name, service.name + " asks " + joined(service.servers));
}

Check checkBlanking(Survey& survey) {
    const std::string name = "screen-blanking";
    if (!survey.desktopSession())
        return unknown(name, "no desktop session to ask",
                       "run pelmctl doctor in a terminal of the board's desktop");
    if (survey.sources.desktopInhibitsIdle() == true)
        return ok(name, "inhibited: the desktop holds an inhibition (the board's, in full screen)");
    if (isGnome(survey)) {
        const auto delay = survey.sources.desktopIdleDelay();
        if (delay == 0u) return ok(name, "off: GNOME's idle delay is 0");
        if (delay)
            return fail(name,
                        "GNOME blanks the screen after " + std::to_string(*delay) +
                            " s idle; the board inhibits that only in full screen",
                        "gsettings set org.gnome.desktop.session idle-delay 0");
    }
    if (survey.x11) return xBlanking(survey, *survey.x11);
    return unknown(name, "the Wayland desktop does not say",
                   "turn blanking off in the desktop's power settings");
}

Check checkTimeFormat(Survey& survey) {
    const std::string name = "time-format";
    const std::string locale = boardLocale(survey);
    const LocaleTime time = LocaleTime::fromLocale(QLocale(QString::fromStdString(locale)));
    const std::string shown = cp932ToUtf8(formatTimeOfDay(9h + 5min + 7s, time));
    if (!time.twelveHour) return ok(name, "the clock shows " + shown + " (" + locale + ")");
    return fail(
        name, "the clock shows " + shown + " (" + locale + "): AM and PM run under the small logo",
        "mkdir -p ~/.config/systemd/user/pelmdp.service.d && printf "
        "'[Service]\\nEnvironment=LC_TIME=ja_JP.UTF-8\\n' > "
        "~/.config/systemd/user/pelmdp.service.d/clock.conf && systemctl --user "
        "daemon-reload && systemctl --user restart pelmdp.service");
}

}  // namespace pelm::pc
