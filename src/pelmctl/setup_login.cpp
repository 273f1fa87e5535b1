// pelmctl setup's second step: the board starts at every login the way
// this session allows, and never two ways at once (two boards would fight
// over PelmDp.ini); and the screen stays awake where nothing else keeps it.

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <filesystem>

#include "pelmctl/folder_preparation.h"
#include "pelmctl/setup_steps.h"
#include "platform/atomic_file.h"
#include "venuepc/autostart_entry.h"
#include "venuepc/config_files.h"
#include "venuepc/program_answer.h"

namespace fs = std::filesystem;

namespace pelmctl {
namespace {

using pelm::pc::LoginWay;

std::string homeFolder() {
    return QProcessEnvironment::systemEnvironment().value("HOME").toStdString();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    if (!pelm::replaceFileAtomically(path.string(), text))
        throw PreparationFailure{"cannot write " + path.string()};
}

// Writes `text` at `path` unless it holds it already; true when written.
bool place(const fs::path& path, const std::string& text) {
    if (pelm::pc::readWhole(path) == text) return false;
    writeFile(path, text);
    return true;
}

void runManager(pelm::pc::UserManager& manager, const std::vector<std::string>& words) {
    if (auto error = manager.run(words)) {
        std::string command = "systemctl --user";
        for (const std::string& word : words) command += " " + word;
        throw PreparationFailure{command + " failed: " + *error};
    }
}

// --- the user service -------------------------------------------------------

fs::path dropInPath() {
    return fs::path(configHome()) / "systemd/user/pelmdp.service.d/pelm-setup.conf";
}

std::optional<int> dropInScreen() {
    static const QRegularExpression screen("--screen ([0-9]+)");
    const auto match =
        screen.match(QString::fromStdString(pelm::pc::readWhole(dropInPath()).value_or("")));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

// The board's program as the unit names it ("{ path=/usr/bin/PelmDp ; …").
std::string unitProgram(pelm::pc::UserManager& manager) {
    static const QRegularExpression path("path=([^ ;]+)");
    const auto match =
        path.match(QString::fromStdString(manager.property(pelm::pc::kBoardUnit, "ExecStart")));
    return match.hasMatch() ? match.captured(1).toStdString() : "/usr/bin/PelmDp";
}

std::string dropInText(const SetupRequest& request, pelm::pc::UserManager& manager) {
    const std::optional<int> screen = request.screen ? request.screen : dropInScreen();
    std::string text;
    if (request.folder != homeFolder() + "/pelm") {
        const QString folder = QString::fromStdString(request.folder).replace("%", "%%");
        text += "WorkingDirectory=" + folder.toStdString() + "\n";
    }
    if (screen) {
        text += "ExecStart=\nExecStart=" + unitProgram(manager) + " --screen " +
                std::to_string(*screen) + "\n";
    }
    if (text.empty()) return text;
    return "# Written by pelmctl setup: the board's folder and monitor.\n[Service]\n" + text;
}

void writeDropIn(const SetupRequest& request, pelm::pc::UserManager& manager, Changes& changes) {
    const std::string text = dropInText(request, manager);
    std::error_code error;
    if (text.empty() && !fs::exists(dropInPath(), error)) return;
    if (text.empty()) {
        fs::remove(dropInPath(), error);
        report("removed " + dropInPath().string() + ": the unit's own folder and monitor apply");
    } else if (place(dropInPath(), text)) {
        report("wrote " + dropInPath().string() + " (the board's folder and monitor)");
    } else {
        return;
    }
    runManager(manager, {"daemon-reload"});
    changes.needRestart = true;
}

fs::path displayEntryPath() {
    return fs::path(configHome()) / "autostart/pelm-session-display.desktop";
}

// A session that reaches graphical-session.target without handing its
// display to the user manager: handed now, and again at every login.
void handOverDisplay(pelm::pc::UserManager& manager) {
    std::vector<std::string> words{"import-environment"};
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}) {
        if (qEnvironmentVariableIsSet(name)) words.emplace_back(name);
    }
    runManager(manager, words);
    report("handed this session's display to the user manager");
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Pelm board's display\n"
        "Comment=Hands the session's display to pelmdp.service at login\n"
        "Exec=sh -c \"systemctl --user import-environment DISPLAY WAYLAND_DISPLAY XAUTHORITY; "
        "systemctl --user try-restart pelmdp.service\"\nNoDisplay=true\n";
    if (place(displayEntryPath(), entry))
        report("wrote " + displayEntryPath().string() + " (the same at every login)");
}

void useUnit(const SetupRequest& request, LoginWay way, pelm::pc::UserManager& manager,
             Changes& changes) {
    std::error_code error;
    const fs::path entry = pelm::pc::boardAutostartPath(configHome());
    if (fs::remove(entry, error))
        report("removed " + entry.string() + ": pelmdp.service starts the board now");
    writeDropIn(request, manager, changes);
    if (way == LoginWay::UnitWithDisplay) handOverDisplay(manager);
    if (manager.unitFileState(pelm::pc::kBoardUnit) == "enabled")
        return report("pelmdp.service is enabled: it starts the board at every login");
    runManager(manager, {"enable", pelm::pc::kBoardUnit});
    report(
        "enabled pelmdp.service: it starts the board at every login, and again whenever it "
        "ends");
}

// --- the autostart entry ------------------------------------------------------

void useAutostart(const SetupRequest& request, pelm::pc::UserManager& manager, Changes& changes) {
    if (manager.unitFileState(pelm::pc::kBoardUnit) == "enabled") {
        runManager(manager, {"disable", "--now", pelm::pc::kBoardUnit});
        report("disabled pelmdp.service: this session never reaches graphical-session.target");
    }
    const fs::path path = pelm::pc::boardAutostartPath(configHome());
    const auto before = pelm::pc::readAutostart(path);
    const pelm::pc::Launch launch{
        request.folder, request.screen ? request.screen : (before ? before->screen : std::nullopt)};
    const std::string entry = pelm::pc::withLaunch(
        pelm::pc::readWhole(pelm::pc::kAutostartTemplate).value_or(""), launch);
    if (!place(path, entry)) return report(path.string() + " starts the board at every login");
    report("wrote " + path.string() + ": the desktop starts the board at every login");
    changes.needRestart = true;
}

}  // namespace

std::string configHome() {
    std::optional<std::string> xdg;
    if (qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        xdg = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString();
    return pelm::pc::configHome(xdg, homeFolder()).string();
}

void startAtLogin(const SetupRequest& request, LoginWay way, pelm::pc::UserManager& manager,
                  Changes& changes) {
    if (way == LoginWay::Autostart) return useAutostart(request, manager, changes);
    useUnit(request, way, manager, changes);
}

void keepScreenAwake(const std::optional<std::string>& x11Display) {
    if (!x11Display) return;
    const auto service = pelm::pc::askProgram(
        "gdbus", {"call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                  "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                  "org.freedesktop.ScreenSaver"});
    if (service && service->status == 0 && service->output.find("true") != std::string::npos)
        return report("the desktop keeps the screen awake while the board asks it to");
    const auto off = pelm::pc::askProgram("xset", {"-display", *x11Display, "s", "off", "-dpms"});
    if (!off || off->status != 0)
        return report(
            "screen blanking left as it is: xset cannot reach the X server (as root: "
            "apt install x11-xserver-utils)");
    const fs::path path = fs::path(configHome()) / "autostart/pelm-screen-awake.desktop";
    place(path,
          "[Desktop Entry]\nType=Application\nName=Pelm board's screen\n"
          "Comment=Keeps the X server from blanking the board's screen\n"
          "Exec=xset s off -dpms\nNoDisplay=true\n");
    report("turned screen blanking off (xset s off -dpms), now and at every login (" +
           path.string() + ")");
}

}  // namespace pelmctl
