#!/usr/bin/env python3
"""A venue PC set up as the README says, in a scratch copy of this machine
with a real systemd user manager (scratch_system.py): the package installed
with apt, `pelmctl setup --fullscreen --name パドック` run by the board's user
in its desktop's terminal, the board up under its unit; `pelmctl doctor`
says ✔ for what setup did and ✖ for what only root can do, with root's
commands, and exits 0 once root ran them; a second setup with another name
keeps a setting edited by hand. Between them, a logout and a login (as
after a power-on, once the PC logs its user in) end the board and bring it
back by itself.

    venue_pc_test.py --deb PACKAGE.deb --clock planted_clock_sync.so

The scratch system stands in for a desktop PC: an Xvfb is the desktop's
display, a user target bound to graphical-session.target is its session
(as GNOME's, which also hands the manager its DISPLAY), and
/etc/X11/default-display-manager names LightDM, whose configuration
doctor reads. It shares this machine's kernel but has no time service or
network of its own, so doctor runs there with a synchronised clock planted
(--clock). Needs root; without it, exits 77.
"""

import datetime
import os
import pathlib
import sys
import time
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import scratch_system  # noqa: E402
from board_watch import wait_until  # noqa: E402

scratch_system.enter()


def take_option(name):
    at = sys.argv.index(name)
    value = pathlib.Path(sys.argv[at + 1]).resolve()
    del sys.argv[at:at + 2]
    return value


DEB, CLOCK = take_option("--deb"), take_option("--clock")
DISPLAY = ":5"
HOME = scratch_system.HOME
SESSION = "pelm-test-desktop.target"
system = None


def setUpModule():
    global system
    system = scratch_system.ScratchSystem().__enter__()
    # apt asks before it installs; here nobody answers.
    pathlib.Path("/etc/apt/apt.conf.d/99scratch-yes").write_text('APT::Get::Assume-Yes "true";\n')


def tearDownModule():
    system.__exit__(None, None, None)


def user(*command, check=True):
    """As the board's user in a terminal of its desktop."""
    return system.as_user("env", f"DISPLAY={DISPLAY}", *command, check=check)


def doctor():
    return user("env", f"LD_PRELOAD={CLOCK}", "pelmctl", "doctor", check=False)


def marks(output):
    """Each check's mark and, for a ✖, the command under it."""
    found, last = {}, None
    for line in output.splitlines():
        if line[:2] in ("✔ ", "✖ ", "? "):
            last = line[2:].split()[0]
            found[last] = [line[0], None]
        elif line.startswith("    mend") and last:
            found[last][1] = line
    return found


def schedule_around_now():
    """One race running now and one after it, in Shift-JIS as the writer
    makes them; late in the day they end at midnight, never past it."""
    now = datetime.datetime.now()
    second = now.hour * 3600 + now.minute * 60 + now.second
    times = [time.strftime("%H:%M:%S", time.gmtime(moment))
             for moment in (max(0, second - 1800), min(86398, second + 1800),
                            min(86399, second + 3600))]
    text = f"{times[0]},{times[1]},第1レース\r\n{times[1]},{times[2]},第2レース\r\n"
    return text.encode("cp932")


def write_as_user(path, data):
    path.write_bytes(data)
    os.chown(path, scratch_system.UID, scratch_system.UID)


def settings():
    return (HOME / "pelm/PelmDp.ini").read_bytes().decode("cp932")


class VenuePcTest(unittest.TestCase):

    def start_desktop(self):
        display = system.spawn_as_user("Xvfb", DISPLAY, "-nolisten", "tcp",
                                       "-screen", "0", "1280x720x24")
        self.addCleanup(display.kill)
        wait_until(lambda: user("xdpyinfo", check=False).returncode == 0, 10, "Xvfb")
        pathlib.Path(f"/etc/systemd/user/{SESSION}").write_text(
            "[Unit]\nDescription=A desktop session, as GNOME's\n"
            "BindsTo=graphical-session.target\nBefore=graphical-session.target\n")
        pathlib.Path("/etc/X11").mkdir(exist_ok=True)
        pathlib.Path("/etc/X11/default-display-manager").write_text("/usr/sbin/lightdm\n")
        user("systemctl", "--user", "import-environment", "DISPLAY")
        user("systemctl", "--user", "daemon-reload")
        user("systemctl", "--user", "start", SESSION)

    @staticmethod
    def board_state():
        return user("systemctl", "--user", "is-active", "pelmdp.service", check=False).stdout.strip()

    @staticmethod
    def wait_fine():
        wait_until(lambda: '"verdict":"fine"' in system.as_user(
            "sh", "-c", "cd ~/pelm && pelmctl status --json", check=False).stdout, 15,
                   "the board's status fine")

    def test_setup_then_doctor_then_roots_commands(self):
        installed = system.as_root(f"apt-get install -y '{DEB}'", check=False)
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        self.start_desktop()

        setup = user("pelmctl", "setup", "--fullscreen", "--name", "パドック", check=False)
        print(setup.stdout, setup.stderr, sep="\n")
        self.assertEqual(setup.returncode, 0, setup.stdout + setup.stderr)
        self.assertEqual(user("systemctl", "--user", "is-enabled", "pelmdp.service").stdout.strip(),
                         "enabled")
        self.assertEqual(self.board_state(), "active")
        write_as_user(HOME / "pelm/data/RInfo.txt", schedule_around_now())
        self.wait_fine()
        self.assertIn("FullScreen=1", settings())
        self.assertIn("Name=パドック", settings())

        first = doctor()
        print(first.stdout)
        found = marks(first.stdout)
        failed = {name for name, (mark, _) in found.items() if mark == "✖"}
        self.assertEqual(first.returncode, 1, first.stdout)
        self.assertEqual(failed, {"automatic-login"}, first.stdout)
        self.assertEqual(len(found), 12, first.stdout)
        self.assertTrue(all(mark == "✔" for name, (mark, _) in found.items()
                            if name not in failed), first.stdout)
        for name in failed:
            mend = found[name][1]
            self.assertTrue(mend and mend.startswith("    mend as root: "), first.stdout)
            ran = system.as_root(mend.split(": ", 1)[1], check=False)
            self.assertEqual(ran.returncode, 0, ran.stderr)
        second = doctor()
        print(second.stdout)
        self.assertEqual(second.returncode, 0, second.stdout)

        # A logout ends the board with the session; the next login, as after
        # a power-on with the automatic login, brings it back by itself.
        user("systemctl", "--user", "stop", SESSION)
        wait_until(lambda: self.board_state() == "inactive", 20, "the board gone with the session")
        user("systemctl", "--user", "start", SESSION)
        wait_until(lambda: self.board_state() == "active", 20, "the board back at the next login")
        self.wait_fine()

        # An edit by hand, then setup again with another name only.
        edited = settings().replace("[Env]\r\n", "[Env]\r\nTaiki=準備中\r\n", 1)
        write_as_user(HOME / "pelm/PelmDp.ini", edited.encode("cp932"))
        again = user("pelmctl", "setup", "--name", "記者室", check=False)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertIn("set Name=記者室 in PelmDp.ini (it was パドック)", again.stdout)
        user("systemctl", "--user", "stop", "pelmdp.service")  # the board saves at close
        for kept in ("Taiki=準備中", "Name=記者室", "FullScreen=1"):
            self.assertIn(kept, settings())


if __name__ == "__main__":
    unittest.main(verbosity=2)
