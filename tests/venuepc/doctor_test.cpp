// pelmctl doctor's checks against a PC healthy in every respect but one
// planted fault: the check that reads the faulty source, and only it, says
// so, with the command that mends it.

#include "venuepc/doctor.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/local_status_folder.h"
#include "venuepc/fake_pc.h"

namespace pelm::pc {
namespace {

using testing::FakePc;

PathFacts facts(PathFacts::Kind kind) {
    PathFacts facts;
    facts.kind = kind;
    facts.owner = getuid();
    return facts;
}

std::vector<Check> doctor(FakePc& pc) {
    return runDoctor(pc, findBoardPlace(pc, std::nullopt));
}

const Check& named(const std::vector<Check>& checks, const std::string& name) {
    for (const Check& check : checks) {
        if (check.name == name) return check;
    }
    throw std::runtime_error("no check " + name);
}

TEST(Doctor, AHealthyPcPassesEveryCheck) {
    FakePc pc;
    const std::vector<Check> checks = doctor(pc);
    EXPECT_EQ(checks.size(), 12u);
    for (const Check& check : checks) {
        EXPECT_EQ(check.verdict, Verdict::Ok) << check.name << ": " << check.detail;
        EXPECT_EQ(check.fix, "") << check.name;
    }
}

struct Fault {
    const char* planted;
    std::function<void(FakePc&)> plant;
    const char* check;
    Verdict verdict;
    const char* fix;  // a part of the mending command
    bool asRoot;
};

const Fault kFaults[] = {
    {"unit disabled", [](FakePc& pc) { pc.manager.fileStates[kBoardUnit] = "disabled"; },
     "start-at-login", Verdict::Fail, "pelmctl setup", false},
    {"session without graphical-session.target",
     [](FakePc& pc) { pc.manager.activeStates[kSessionTarget] = "inactive"; }, "start-at-login",
     Verdict::Fail, "pelmctl setup", false},
    {"display not handed to the manager",
     [](FakePc& pc) {
         pc.manager.variables = Environment{{"LANG", "ja_JP.UTF-8"}};
     },
     "start-at-login", Verdict::Fail, "pelmctl setup", false},
    {"unit and autostart entry both",
     [](FakePc& pc) {
         pc.plantHome(".config/autostart/pelmdp-autostart.desktop",
                      "[Desktop Entry]\nExec=sh -c \"cd ~/pelm && exec PelmDp\"\n");
     },
     "start-at-login", Verdict::Fail, "rm ~/.config/autostart/pelmdp-autostart.desktop", false},
    {"nobody logged in automatically",
     [](FakePc& pc) { pc.plant("etc/lightdm/lightdm.conf", "[Seat:*]\n"); }, "automatic-login",
     Verdict::Fail, "autologin-user=board", true},
    {"a display manager pelmctl does not know",
     [](FakePc& pc) { pc.plant("etc/X11/default-display-manager", "/usr/bin/xdm\n"); },
     "automatic-login", Verdict::Unknown, "xdm", true},
    {"a board running a replaced program", [](FakePc& pc) { pc.replaced = true; }, "version",
     Verdict::Fail, "systemctl --user restart pelmdp.service", false},
    {"a board running another version",
     [](FakePc& pc) { pc.runningBoard->status.version = "1.2.0"; }, "version", Verdict::Fail,
     "systemctl --user restart pelmdp.service", false},
    {"no board runs", [](FakePc& pc) { pc.runningBoard.reset(); }, "board", Verdict::Fail,
     "systemctl --user start pelmdp.service", false},
    {"a board that stopped refreshing",
     [](FakePc& pc) { pc.runningBoard->verdict = venue::Verdict::NotAnswering; }, "board",
     Verdict::Fail, "restart", false},
    {"a share that does not answer",
     [](FakePc& pc) {
         pc.schedule = {false, std::chrono::milliseconds(1000), FileBytes::Status::Stalled};
     },
     "data-folder", Verdict::Fail, "ls ", false},
    {"a slow share", [](FakePc& pc) { pc.schedule.took = std::chrono::milliseconds(800); },
     "data-folder", Verdict::Fail, "ls ", false},
    {"no schedule file", [](FakePc& pc) { pc.schedule.status = FileBytes::Status::Missing; },
     "data-folder", Verdict::Fail, "pelmctl init", false},
    {"a share mounted hard, from no fstab line",
     [](FakePc& pc) {
         pc.addSettings("TableDir=" + pc.folder() + "\r\n");
         pc.plant("proc/self/mountinfo",
                  "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                  "40 21 0:50 / " +
                      pc.folder() + "/data rw - cifs //writer/pelm rw,hard\n");
     },
     "share-mount", Verdict::Fail, ">> /etc/fstab", true},
    {"a desktop's FUSE mount",
     [](FakePc& pc) {
         pc.addSettings("TableDir=" + pc.folder() + "\r\n");
         pc.plant("proc/self/mountinfo",
                  "21 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                  "40 21 0:50 / " +
                      pc.folder() + "/data rw - fuse.gvfsd-fuse gvfsd-fuse rw\n");
     },
     "share-mount", Verdict::Fail, "/etc/fstab", true},
    {"clock not synchronised",
     [](FakePc& pc) {
         pc.sync = ClockSync{false, 16000};
     },
     "clock", Verdict::Fail, "systemctl restart systemd-timesyncd", true},
    {"clock state unreadable", [](FakePc& pc) { pc.sync.reset(); }, "clock", Verdict::Unknown,
     "timedatectl", false},
    {"no time service",
     [](FakePc& pc) { std::filesystem::remove_all(pc.rootFolder.path() / "etc/systemd/system"); },
     "time-server", Verdict::Fail, "apt install systemd-timesyncd", true},
    {"X blanks after 10 minutes",
     [](FakePc& pc) { pc.xset = "Screen Saver:\n  timeout:  600    cycle:  600\n"; },
     "screen-blanking", Verdict::Fail, "pelmctl setup", false},
    {"GNOME blanks after 5 minutes",
     [](FakePc& pc) {
         pc.own["XDG_CURRENT_DESKTOP"] = "ubuntu:GNOME";
         pc.idleDelay = 300;
     },
     "screen-blanking", Verdict::Fail, "idle-delay 0", false},
    {"no desktop session to ask",
     [](FakePc& pc) {
         pc.own.erase("DISPLAY");
         pc.manager.variables->erase("DISPLAY");
     },
     "screen-blanking", Verdict::Unknown, "terminal of the board's desktop", false},
    {"a 12-hour clock",
     [](FakePc& pc) {
         pc.manager.properties[std::string(kBoardUnit) + "/Environment"] = "LC_TIME=en_US.UTF-8";
     },
     "time-format", Verdict::Fail, "LC_TIME=ja_JP.UTF-8", false},
    {"a full disk", [](FakePc& pc) { pc.free = std::uint64_t{5} << 20; }, "free-space",
     Verdict::Fail, "df -h", false},
    {"a status folder that does not exist",
     [](FakePc& pc) {
         pc.addSettings("StatusDir=/srv/status\r\n");
         pc.looks["/srv/status"] = PathFacts{};
     },
     "status-folder", Verdict::Fail, "mkdir -p /srv/status", false},
    {"a status folder without the board's copy",
     [](FakePc& pc) {
         pc.addSettings("StatusDir=/srv/status\r\n");
         pc.looks["/srv/status"] = facts(PathFacts::Kind::Folder);
     },
     "status-folder", Verdict::Fail, "/srv/status", false},
};

TEST(Doctor, EachPlantedFaultIsFoundByItsCheckAloneWithItsMend) {
    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(fault.planted);
        FakePc pc;
        fault.plant(pc);
        const std::vector<Check> checks = doctor(pc);
        const Check& check = named(checks, fault.check);
        EXPECT_EQ(check.verdict, fault.verdict) << check.detail;
        EXPECT_NE(check.fix.find(fault.fix), std::string::npos) << check.fix;
        EXPECT_EQ(check.fixAsRoot, fault.asRoot) << check.fix;
        for (const Check& other : checks) {
            if (other.name == fault.check) continue;
            EXPECT_NE(other.verdict, Verdict::Fail) << other.name << ": " << other.detail;
        }
    }
}

TEST(Doctor, AStatusFolderTakingTheBoardsCopyIsFine) {
    FakePc pc;
    pc.addSettings("StatusDir=/srv/status\r\n");
    pc.looks["/srv/status"] = facts(PathFacts::Kind::Folder);
    const QString copy = venueStatusName("kiosk-1", boardKey(QString::fromStdString(pc.folder())));
    PathFacts fresh = facts(PathFacts::Kind::RegularFile);
    fresh.stamp.modifiedNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
    pc.looks["/srv/status/" + copy.toStdString()] = fresh;
    EXPECT_EQ(named(doctor(pc), "status-folder").verdict, Verdict::Ok);
}

TEST(Doctor, TheBoardsFolderIsWhereItsLoginStartsIt) {
    FakePc pc;
    pc.manager.fileStates[kBoardUnit] = "disabled";
    pc.plantHome(".config/autostart/pelmdp-autostart.desktop",
                 "[Desktop Entry]\nExec=sh -c \"cd '/srv/board two' && exec PelmDp --screen 1\"\n");
    const BoardPlace place = findBoardPlace(pc, std::nullopt);
    EXPECT_EQ(place.way, StartWay::Autostart);
    EXPECT_EQ(place.folder, "/srv/board two");
    EXPECT_FALSE(place.hasSettings);
    EXPECT_EQ(named(runDoctor(pc, place), "data-folder").fix, "pelmctl setup");
}

}  // namespace
}  // namespace pelm::pc
