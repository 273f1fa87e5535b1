// What setup and doctor read off the PC, from the texts its programs
// leave: the mount table and fstab, xset's answer, the display managers'
// and time services' configuration, the autostart entry.

#include <gtest/gtest.h>

#include "venuepc/auto_login.h"
#include "venuepc/autostart_entry.h"
#include "venuepc/fake_pc.h"
#include "venuepc/screen_blanking.h"
#include "venuepc/share_mount.h"
#include "venuepc/time_service.h"

namespace pelm::pc {
namespace {

constexpr char kMountinfo[] =
    "21 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
    "30 21 0:40 / /mnt/venue rw - tmpfs tmpfs rw\n"
    "41 30 0:44 / /mnt/venue/pelm rw,relatime - autofs systemd-1 rw,fd=55\n"
    "42 41 0:50 / /mnt/venue/pelm rw,relatime - cifs //writer-pc/pelm "
    "rw,vers=3.1.1,soft,echo_interval=10,uid=1000\n"
    "43 21 0:51 / /mnt/with\\040blank rw - nfs4 writer:/export rw,hard\n";

TEST(ShareMount, TheMountHoldingAPathIsTheLastOnItsLongestMountPoint) {
    const struct {
        const char* path;
        const char* point;
        const char* type;
    } cases[] = {
        {"/mnt/venue/pelm/day1", "/mnt/venue/pelm", "cifs"},
        {"/mnt/venue/pelm", "/mnt/venue/pelm", "cifs"},
        {"/mnt/venue/pelmx", "/mnt/venue", "tmpfs"},
        {"/mnt/with blank/x", "/mnt/with blank", "nfs4"},
        {"/home/board/pelm/data", "/", "ext4"},
    };
    for (const auto& c : cases) {
        const auto mount = mountHolding(c.path, kMountinfo);
        ASSERT_TRUE(mount) << c.path;
        EXPECT_EQ(mount->point, c.point) << c.path;
        EXPECT_EQ(mount->type, c.type) << c.path;
    }
}

TEST(ShareMount, WhatAShareLacksOfTheGuidesOptions) {
    const Mount cifs = *mountHolding("/mnt/venue/pelm", kMountinfo);
    const Mount nfs = *mountHolding("/mnt/with blank", kMountinfo);
    using Options = std::vector<std::string>;
    const Options guide{"credentials=/etc/c",
                        "soft",
                        "echo_interval=10",
                        "_netdev",
                        "nofail",
                        "x-systemd.automount",
                        "x-systemd.mount-timeout=10s"};
    EXPECT_EQ(missingShareOptions(cifs, guide), Options{});
    EXPECT_EQ(missingShareOptions(cifs, Options{"_netdev"}),
              (Options{"nofail", "x-systemd.automount", "x-systemd.mount-timeout=10s"}));
    EXPECT_EQ(missingShareOptions(nfs, guide), Options{"soft"});  // no echo_interval for NFS
    Mount slowEcho = cifs;
    slowEcho.options = {"rw", "soft", "echo_interval=60"};
    EXPECT_EQ(missingShareOptions(slowEcho, guide), Options{"echo_interval=10"});
    EXPECT_TRUE(isShare(cifs) && isShare(nfs));
    EXPECT_FALSE(isShare(*mountHolding("/", kMountinfo)));
}

TEST(ShareMount, TheFstabLineOfAMountPoint) {
    const char fstab[] =
        "# //old/pelm /mnt/venue/pelm cifs hard 0 0\n"
        "//writer-pc/pelm /mnt/venue/pelm cifs credentials=/etc/c,soft,_netdev 0 0\n";
    EXPECT_EQ(fstabOptions("/mnt/venue/pelm", fstab),
              (std::vector<std::string>{"credentials=/etc/c", "soft", "_netdev"}));
    EXPECT_EQ(fstabOptions("/mnt/other", fstab), std::nullopt);
}

TEST(ScreenBlanking, XsetsAnswerGivesTheFirstBlanking) {
    const char xvfb[] =
        "Screen Saver:\n  prefer blanking:  yes    allow exposures:  yes\n"
        "  timeout:  600    cycle:  600\nFont Path:\n  built-ins\n"
        "Server does not have the DPMS Extension\n";
    const char dpms[] =
        "Screen Saver:\n  timeout:  0    cycle:  600\nDPMS (Energy Star):\n"
        "  Standby: 1200    Suspend: 0    Off: 900\n  DPMS is Enabled\n  Monitor is On\n";
    const char off[] =
        "Screen Saver:\n  timeout:  0    cycle:  600\nDPMS (Energy Star):\n"
        "  Standby: 600    Suspend: 600    Off: 600\n  DPMS is Disabled\n";
    EXPECT_EQ(blanksAfter(*parseXsetQuery(xvfb)), 600);
    EXPECT_EQ(blanksAfter(*parseXsetQuery(dpms)), 900);
    EXPECT_EQ(blanksAfter(*parseXsetQuery(off)), 0);
    EXPECT_EQ(parseXsetQuery("xset:  unable to open display \":9\"\n"), std::nullopt);
}

TEST(AutoLogin, EachDisplayManagersOwnSetting) {
    const struct {
        const char* manager;
        std::vector<std::pair<const char*, const char*>> files;
        std::optional<std::string> user;
    } cases[] = {
        {"/usr/sbin/gdm3",
         {{"etc/gdm3/daemon.conf",
           "[daemon]\nAutomaticLoginEnable = true\nAutomaticLogin = board\n"}},
         "board"},
        {"/usr/sbin/gdm3",
         {{"etc/gdm3/daemon.conf", "[daemon]\nAutomaticLoginEnable=false\nAutomaticLogin=board\n"}},
         std::nullopt},
        {"/usr/sbin/lightdm",
         {{"etc/lightdm/lightdm.conf", "[Seat:*]\nautologin-user=alice\n"},
          {"etc/lightdm/lightdm.conf.d/50-x.conf", "[Seat:*]\nautologin-user=board\n"}},
         "alice"},  // lightdm.conf is read last
        {"/usr/bin/sddm",
         {{"usr/lib/sddm/sddm.conf.d/default.conf", "[Autologin]\nUser=\n"},
          {"etc/sddm.conf.d/kiosk.conf", "[Autologin]\nUser=board\nSession=plasma\n"}},
         "board"},
        {"",
         {{"etc/systemd/system/getty@tty1.service.d/autologin.conf",
           "[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin board --noclear %I "
           "$TERM\n"}},
         "board"},
    };
    for (const auto& c : cases) {
        testing::FakePc pc;
        std::filesystem::remove(pc.rootFolder.path() / "etc/lightdm/lightdm.conf");
        pc.plant("etc/X11/default-display-manager", c.manager);
        for (const auto& [path, text] : c.files) pc.plant(path, text);
        const AutoLogin found = autoLoginOf(pc.root());
        EXPECT_EQ(found.user, c.user) << c.manager << " " << c.files.back().first;
        EXPECT_TRUE(found.known);
    }
}

TEST(TimeService, TheEnabledServiceAndItsServers) {
    testing::FakePc pc;
    EXPECT_EQ(timeServiceOf(pc.root()).servers, std::vector<std::string>{"ntp.venue.lan"});
    std::filesystem::remove_all(pc.rootFolder.path() / "etc/systemd/system");
    pc.plant("lib/systemd/system/systemd-timesyncd.service", "");
    EXPECT_EQ(timeServiceOf(pc.root()).installedOff, "systemd-timesyncd");
    pc.plant("etc/systemd/system/multi-user.target.wants/chrony.service", "");
    pc.plant("etc/chrony/chrony.conf", "pool 2.debian.pool.ntp.org iburst\n# server old\n");
    pc.plant("etc/chrony/conf.d/venue.conf", "server ntp.venue.lan iburst\n");
    const TimeService chrony = timeServiceOf(pc.root());
    EXPECT_EQ(chrony.name, "chrony");
    EXPECT_EQ(chrony.servers, (std::vector<std::string>{"2.debian.pool.ntp.org", "ntp.venue.lan"}));
}

TEST(AutostartEntry, TheLaunchWrittenIsTheLaunchReadBack) {
    testing::FakePc pc;
    const std::string shipped =
        "[Desktop Entry]\nType=Application\nExec=sh -c \"cd ~/pelm && exec PelmDp\"\nIcon=pelmdp\n";
    const Launch launch{"/srv/board one", 1};
    pc.plantHome("entry.desktop", withLaunch(shipped, launch));
    const auto read = readAutostart(pc.home() / "entry.desktop");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->folder, launch.folder);
    EXPECT_EQ(read->screen, launch.screen);
    pc.plantHome("entry.desktop", shipped + "Hidden=true\n");
    EXPECT_EQ(readAutostart(pc.home() / "entry.desktop"), std::nullopt);
    EXPECT_FALSE(fitsExecLine("/srv/it's"));
    EXPECT_FALSE(fitsExecLine("/srv/100%"));
}

}  // namespace
}  // namespace pelm::pc
