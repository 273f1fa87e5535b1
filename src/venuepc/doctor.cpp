#include "venuepc/doctor.h"

#include <QDir>

#include "platform/codepage.h"
#include "platform/local_status_folder.h"
#include "platform/paths.h"
#include "venuepc/autostart_entry.h"
#include "venuepc/config_files.h"
#include "venuepc/doctor_checks.h"

namespace pelm::pc {
namespace {

namespace fs = std::filesystem;

bool unitEnabled(UserManager& manager) {
    return manager.unitFileState(kBoardUnit) == "enabled";
}

// A kiosk's ~/.profile starts the board under cage on tty1.
bool kioskProfile(const fs::path& home) {
    const std::string profile = readWhole(home / ".profile").value_or("");
    return profile.find("PelmDp") != std::string::npos && profile.find("cage") != std::string::npos;
}

fs::path autostartEntry(DoctorSources& sources) {
    return boardAutostartPath(configHome(sources.ownVariable("XDG_CONFIG_HOME"), sources.home()));
}

StartWay startWay(DoctorSources& sources, bool unit) {
    const bool autostart = readAutostart(autostartEntry(sources)).has_value();
    if (unit && autostart) return StartWay::UnitAndAutostart;
    if (unit) return StartWay::Unit;
    if (autostart) return StartWay::Autostart;
    return kioskProfile(sources.home()) ? StartWay::Kiosk : StartWay::Nothing;
}

std::string expandHome(const std::string& folder, const fs::path& home) {
    if (folder == "~" || folder.rfind("~/", 0) == 0) return home.string() + folder.substr(1);
    return folder;
}

std::string startFolder(DoctorSources& sources, bool unit) {
    if (unit) {
        const std::string working = sources.userManager().property(kBoardUnit, "WorkingDirectory");
        if (!working.empty()) return expandHome(working, sources.home());
    }
    if (auto launch = readAutostart(autostartEntry(sources)))
        return expandHome(launch->folder, sources.home());
    return (sources.home() / "pelm").string();
}

std::optional<std::string> displayOf(const Survey& survey, const std::string& name) {
    if (auto own = survey.sources.ownVariable(name); own && !own->empty()) return own;
    if (!survey.manager) return std::nullopt;
    const auto found = survey.manager->find(name);
    if (found == survey.manager->end() || found->second.empty()) return std::nullopt;
    return found->second;
}

}  // namespace

BoardPlace findBoardPlace(DoctorSources& sources, const std::optional<std::string>& folder) {
    const bool unit = unitEnabled(sources.userManager());
    BoardPlace place;
    place.way = startWay(sources, unit);
    place.folder =
        canonicalFolder(QString::fromStdString(folder.value_or(startFolder(sources, unit))));
    const Cp932 settingsFile = settingsPath(utf8ToCp932(place.folder.toStdString()));
    place.hasSettings = fs::is_regular_file(nativePath(settingsFile));
    place.settings = loadBoardSettings(settingsFile).settings;
    return place;
}

std::vector<Check> runDoctor(DoctorSources& sources, const BoardPlace& place) {
    Survey survey{
        sources,      place,       sources.board(place.folder), sources.userManager().environment(),
        std::nullopt, std::nullopt};
    survey.x11 = displayOf(survey, "DISPLAY");
    survey.wayland = displayOf(survey, "WAYLAND_DISPLAY");
    std::vector<Check> checks;
    for (auto check : {checkVersion, checkStartAtLogin, checkAutoLogin, checkBoardRuns,
                       checkDataFolder, checkShareMount, checkStatusFolder, checkClock,
                       checkTimeServer, checkBlanking, checkTimeFormat, checkFreeSpace})
        checks.push_back(check(survey));
    return checks;
}

std::string boardFolderPath(const BoardPlace& place, const Cp932& boardPath) {
    const std::string native = nativePath(boardPath);
    if (native.empty() || native[0] == '/') return native;
    return place.folder.toStdString() + "/" + native;
}

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok:
            return "ok";
        case Verdict::Fail:
            return "fail";
        default:
            return "unknown";
    }
}

Check ok(std::string name, std::string detail) {
    return {std::move(name), Verdict::Ok, std::move(detail), "", false};
}

Check fail(std::string name, std::string detail, std::string fix, bool asRoot) {
    return {std::move(name), Verdict::Fail, std::move(detail), std::move(fix), asRoot};
}

Check unknown(std::string name, std::string detail, std::string fix, bool asRoot) {
    return {std::move(name), Verdict::Unknown, std::move(detail), std::move(fix), asRoot};
}

std::string quoted(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789/._-+:=,@") == std::string::npos)
        return word;
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::optional<qint64> Survey::runningPid() const {
    if (!board || board->verdict == venue::Verdict::Stopped) return std::nullopt;
    return board->status.pid;
}

std::string startCommand(const Survey& survey) {
    switch (survey.place.way) {
        case StartWay::Unit:
            return "systemctl --user start pelmdp.service";
        case StartWay::Nothing:
            return "pelmctl setup";
        default:
            return "cd " + quoted(survey.place.folder.toStdString()) +
                   " && setsid PelmDp >/dev/null 2>&1 &";
    }
}

std::string restartCommand(const Survey& survey) {
    if (survey.place.way == StartWay::Unit) return "systemctl --user restart pelmdp.service";
    const auto pid = survey.runningPid();
    if (!pid) return startCommand(survey);
    return "kill " + std::to_string(*pid) + "; " + startCommand(survey);
}

}  // namespace pelm::pc
