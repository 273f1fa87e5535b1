#pragma once
// A venue PC as doctor sees it, healthy in every respect, for tests to
// plant one fault at a time: a user manager and sources answering from
// fields, and the PC's own files under a scratch root folder.

#include <unistd.h>

#include <QDateTime>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"
#include "venuepc/doctor.h"

namespace pelm::pc::testing {

class FakeUserManager : public UserManager {
public:
    std::map<std::string, std::string> fileStates{{kBoardUnit, "enabled"}};
    std::map<std::string, std::string> activeStates{{kSessionTarget, "active"},
                                                    {kBoardUnit, "active"}};
    std::map<std::string, std::string> properties;
    std::optional<Environment> variables = Environment{{"DISPLAY", ":0"}, {"LANG", "ja_JP.UTF-8"}};
    std::vector<std::vector<std::string>> ran;

    std::string unitFileState(const std::string& unit) override { return word(fileStates, unit); }
    std::string activeState(const std::string& unit) override { return word(activeStates, unit); }
    std::optional<Environment> environment() override { return variables; }
    std::string property(const std::string& unit, const std::string& name) override {
        return word(properties, unit + "/" + name);
    }
    std::optional<std::string> run(const std::vector<std::string>& words) override {
        ran.push_back(words);
        return std::nullopt;
    }

private:
    static std::string word(const std::map<std::string, std::string>& words,
                            const std::string& key) {
        const auto found = words.find(key);
        return found == words.end() ? "" : found->second;
    }
};

class FakePc : public DoctorSources {
public:
    FakePc() {
        plant("etc/X11/default-display-manager", "/usr/sbin/lightdm\n");
        plant("etc/lightdm/lightdm.conf", "[Seat:*]\nautologin-user=board\n");
        plant("etc/systemd/system/sysinit.target.wants/systemd-timesyncd.service", "");
        plant("etc/systemd/timesyncd.conf.d/venue.conf", "[Time]\nNTP=ntp.venue.lan\n");
        plant("proc/self/mountinfo", "21 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n");
        plant("etc/fstab", "/dev/sda1 / ext4 defaults 0 1\n");
        std::filesystem::create_directories(folder() + "/data");
        std::ofstream(folder() + "/PelmDp.ini") << "[Env]\r\nDataDir=" << folder() << "/data\r\n";
        manager.properties[std::string(kBoardUnit) + "/WorkingDirectory"] = folder();
        runningBoard = healthyBoard();
    }

    /// Writes a file of the PC under the scratch root.
    void plant(const std::string& path, const std::string& text) {
        const std::filesystem::path file = rootFolder.path() / path;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    /// Writes a file under the scratch home folder.
    void plantHome(const std::string& path, const std::string& text) {
        const std::filesystem::path file = homeFolder.path() / path;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    /// Adds lines under [Env] of the board's PelmDp.ini (its last section).
    void addSettings(const std::string& lines) {
        std::ofstream(folder() + "/PelmDp.ini", std::ios::app) << lines;
    }
    std::string folder() const { return (homeFolder.path() / "pelm").string(); }

    LocalBoard healthyBoard() const {
        BoardStatus status;
        status.pid = getpid();
        status.version = "1.3.0";
        status.host = "kiosk-1";
        status.state = BoardState::Running;
        status.refreshesLastMinute = 240;
        status.workingFolder = QString::fromStdString(folder());
        return {status, 200, venue::Verdict::Fine};
    }

    FakeUserManager manager;
    ::pelm::testing::TempFolder rootFolder, homeFolder;
    Environment own{{"DISPLAY", ":0"}, {"LANG", "ja_JP.UTF-8"}};
    std::optional<std::string> installed = "1.3.0";
    std::optional<LocalBoard> runningBoard;
    bool replaced = false;
    FolderAnswer schedule{true, std::chrono::milliseconds(3), FileBytes::Status::Read};
    std::map<std::string, PathFacts> looks;  // nothing: the share does not answer
    std::optional<ClockSync> sync = ClockSync{true, 12};
    std::optional<std::string> xset =
        "Screen Saver:\n  prefer blanking:  yes    allow exposures:  yes\n"
        "  timeout:  0    cycle:  600\nDPMS (Energy Star):\n  Standby: 600    Suspend: 600"
        "    Off: 600\n  DPMS is Disabled\n";
    std::optional<bool> inhibits;
    std::optional<unsigned> idleDelay;
    std::optional<std::uint64_t> free = std::uint64_t{10} << 30;

    UserManager& userManager() override { return manager; }
    std::optional<std::string> ownVariable(const std::string& name) override {
        const auto found = own.find(name);
        return found == own.end() ? std::nullopt : std::optional(found->second);
    }
    std::filesystem::path root() override { return rootFolder.path(); }
    std::filesystem::path home() override { return homeFolder.path(); }
    std::string userName() override { return "board"; }
    uid_t userId() override { return getuid(); }
    std::optional<std::string> installedVersion() override { return installed; }
    std::optional<LocalBoard> board(const QString&) override { return runningBoard; }
    bool programReplaced(qint64) override { return replaced; }
    FolderAnswer readSchedule(const std::string&) override { return schedule; }
    std::optional<PathFacts> look(const std::string& path) override {
        const auto found = looks.find(path);
        return found == looks.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<ClockSync> clock() override { return sync; }
    std::optional<std::string> xsetQuery(const std::string&) override { return xset; }
    std::optional<bool> desktopInhibitsIdle() override { return inhibits; }
    std::optional<unsigned> desktopIdleDelay() override { return idleDelay; }
    std::optional<std::uint64_t> freeBytes(const std::string&) override { return free; }
};

}  // namespace pelm::pc::testing
