#!/usr/bin/env python3
"""The shipped user units, running this build's programs, under a real
systemd user manager (scratch_system.py): the manager never gives up on
the board or the control room, a board whose display goes away waits for
it and is back with it, and every line the board writes is found under
`journalctl --user -u pelmdp`.

    tests/package/service_unit_test.py --build build [unittest arguments]

Needs root (the scratch system's namespaces); without it, exits 77, which
ctest reports as not run.
"""

import os
import pathlib
import socket
import sys
import time
import unittest

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parent.parent
sys.path.insert(0, str(HERE))
import scratch_system  # noqa: E402
from board_watch import await_start, wait_until  # noqa: E402  (scratch_system puts tests/support on the path)

scratch_system.enter()

BUILD = REPO / "build"
if "--build" in sys.argv:
    at = sys.argv.index("--build")
    BUILD = pathlib.Path(sys.argv[at + 1]).resolve()
    del sys.argv[at:at + 2]

UNIT_NAMES = ("pelmdp", "pelm-venue")
UNITS = scratch_system.HOME / ".config/systemd/user"
CAPTION = "Tovalen V1.3"
DISPLAY = ":5"  # in the scratch system's own /tmp and network: nobody else's
WATCHDOG_SECONDS = 10
# systemd's old give-up for the board: 60 starts in 10 minutes.
OLD_BURST = 60

system = None


def setUpModule():
    global system
    system = scratch_system.ScratchSystem().__enter__()
    system.install_units(BUILD, REPO)


def tearDownModule():
    system.__exit__(None, None, None)


def write_as_user(path, text):
    system.as_user("mkdir", "-p", str(path.parent))
    path.write_text(text)
    os.chown(path, scratch_system.UID, scratch_system.UID)


def user_shell(command_line, check=True):
    return system.as_user(command_line, shell=True, check=check)


def show(unit, prop):
    return system.as_user("systemctl", "--user", "show", "-P", prop, unit).stdout.strip()


def journal(unit, since):
    return system.as_user("journalctl", "--user", "-u", unit, "--since", f"@{since:.6f}",
                          "-o", "cat", "--no-pager", check=False).stdout.splitlines()


def board_window():
    return CAPTION in user_shell(f"xwininfo -display {DISPLAY} -root -tree", check=False).stdout


class ServiceUnitTest(unittest.TestCase):

    def setUp(self):
        self.since = time.time()
        self.addCleanup(self.reset)

    def reset(self):
        for unit in UNIT_NAMES:
            user_shell(f"systemctl --user disable --now {unit}.service; "
                       f"systemctl --user reset-failed {unit}.service; "
                       f"rm -rf {UNITS}/{unit}.service.d", check=False)
        user_shell("systemctl --user unset-environment DISPLAY; systemctl --user daemon-reload")

    def drop_in(self, unit, text):
        write_as_user(UNITS / f"{unit}.service.d/test.conf", f"[Service]\n{text}\n")
        user_shell("systemctl --user daemon-reload")

    def start_display(self):
        display = system.spawn_as_user("Xvfb", DISPLAY, "-nolisten", "tcp",
                                       "-screen", "0", "1280x800x24")
        self.addCleanup(display.kill)
        wait_until(lambda: user_shell(f"xdpyinfo -display {DISPLAY}", check=False).returncode == 0,
                   10, "Xvfb")
        return display

    def await_window(self, what):
        """The board's window, waited for as a start-up (the unit is
        started again whenever the board ends)."""
        await_start(board_window, lambda: False, lambda: (
            f"pelmdp.service: {show('pelmdp', 'ActiveState')}/{show('pelmdp', 'SubState')}, "
            f"{show('pelmdp', 'NRestarts')} restarts, status {show('pelmdp', 'StatusText')!r}\n"
            "its journal:\n" + "\n".join(journal("pelmdp", self.since))), what)

    def test_a_display_outage_is_waited_out_and_the_board_returns_with_the_display(self):
        display = self.start_display()
        user_shell(f"DISPLAY={DISPLAY} systemctl --user import-environment DISPLAY")
        user_shell("systemctl --user enable --now pelmdp.service")
        self.await_window("the board's first start")
        restarts = int(show("pelmdp", "NRestarts"))

        display.terminate()
        display.wait()
        wait_until(lambda: show("pelmdp", "StatusText") == "waiting for a display", 30,
                   "board waiting for its display")
        # Twice the watchdog's time: a board that stopped pinging would be
        # killed by now, one that kept ending would have been started again.
        time.sleep(2 * WATCHDOG_SECONDS + 2)
        self.assertEqual(show("pelmdp", "ActiveState"), "active")
        self.assertEqual(int(show("pelmdp", "NRestarts")), restarts + 1)

        self.start_display()
        # Seen within the board's next look; its window then comes after
        # Qt's start-up (bench/display_outage measures how soon).
        wait_until(lambda: any(line.startswith("recovered after")
                               for line in journal("pelmdp", self.since)), 10,
                   "the display seen again")
        self.await_window("the board's window on the returned display")
        lines = journal("pelmdp", self.since)
        self.assertEqual(sum(line.startswith("no display to show the board on") for line in lines),
                         1, lines)
        self.assertEqual(sum(line.startswith("recovered after") for line in lines), 1, lines)

    def test_a_unit_that_keeps_ending_is_started_again_past_the_old_give_up(self):
        """Restarts compressed to 0.1 s, the only setting changed."""
        port = socket.socket()
        port.bind(("127.0.0.1", 8080))  # the control room's port, taken
        port.listen()
        self.addCleanup(port.close)
        cases = [
            ("pelmdp", "WorkingDirectory=%h/not-yet", lambda: user_shell(
                f"mkdir ~/not-yet && cd ~/not-yet && {BUILD}/src/pelmctl/pelmctl init data"),
             lambda: show("pelmdp", "StatusText") == "waiting for a display"),
            ("pelm-venue", "", port.close,
             lambda: "serving" in " ".join(journal("pelm-venue", self.since))),
        ]
        for unit, broken, mend, healthy in cases:
            with self.subTest(unit):
                self.drop_in(unit, f"RestartSec=100ms\n{broken}")
                user_shell(f"systemctl --user enable --now {unit}.service", check=False)
                wait_until(lambda: int(show(unit, "NRestarts") or 0) > OLD_BURST + 10, 60,
                           f"{OLD_BURST + 10} restarts of {unit}")
                self.assertNotEqual(show(unit, "Result"), "start-limit-hit")
                mend()
                wait_until(healthy, 20, f"{unit} healthy once mended")
                self.assertEqual(show(unit, "ActiveState"), "active")

    def test_every_line_of_a_board_that_ends_at_once_is_under_its_unit(self):
        """A stopped board's last line is written just before it ends: the
        journal must still tie it to the unit."""
        runs = 20
        for _ in range(runs):
            user_shell("systemctl --user start pelmdp.service")
            user_shell("systemctl --user stop pelmdp.service")
        system.as_root("journalctl --sync")
        lines = journal("pelmdp", self.since)
        for text in ("no display to show the board on", "asked to end while waiting"):
            self.assertEqual(sum(line.startswith(text) for line in lines), runs, (text, lines))


if __name__ == "__main__":
    unittest.main(verbosity=2)
