#!/usr/bin/env python3
"""The full-screen board asks the desktop's screen saver not to blank the
screen, on the session bus the desktop runs and on no other: here a private
`dbus-daemon --session` with a fake screen saver on it (fake_screen_saver.py)
that writes down each call. The board lets go of the request when it
closes, runs on when the bus goes away, and with no bus address launches no
bus of its own.

    tests/board/screen_blank_test.py --build build [unittest arguments]
"""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import BoardCase, main  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
NOT_INHIBITED = "screen blanking is not inhibited"


class SessionBus:
    """A private session bus with the fake screen saver on it."""

    def __init__(self):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.saver = subprocess.Popen(["/usr/bin/python3", str(HERE / "fake_screen_saver.py"),
                                       self.address], stdout=subprocess.PIPE, text=True)
        self.calls = []
        self.seen = threading.Condition()
        threading.Thread(target=self.listen, daemon=True).start()
        self.wait_for(lambda calls: ["ready"] in calls, "the screen saver on the bus")

    def listen(self):
        for line in self.saver.stdout:
            with self.seen:
                self.calls.append(json.loads(line))
                self.seen.notify_all()

    def wait_for(self, condition, what, seconds=15):
        with self.seen:
            if not self.seen.wait_for(lambda: condition(self.calls), seconds):
                raise AssertionError(f"no {what}: calls {self.calls}")

    def called(self, method):
        with self.seen:
            return [call[1:] for call in self.calls if call[0] == method]

    def stop(self):
        for process in (self.saver, self.daemon):
            if process.poll() is None:
                process.terminate()
                process.wait(10)
            process.stdout.close()


class ScreenBlankTest(BoardCase):
    def start_full_screen(self, **environment):
        self.start_board(lambda board: board.environment.update(environment),
                         arguments=["--fullscreen"])
        self.wait_for_rows()

    def start_on_private_bus(self):
        bus = SessionBus()
        self.addCleanup(bus.stop)
        self.start_full_screen(DBUS_SESSION_BUS_ADDRESS=bus.address)
        bus.wait_for(lambda calls: any(call[0] == "Inhibit" for call in calls), "Inhibit call")
        return bus

    def test_inhibits_blanking_while_shown_and_lets_go_at_the_close(self):
        bus = self.start_on_private_bus()
        [(application, reason)] = bus.called("Inhibit")
        self.assertEqual(application, "PelmDp")
        self.assertTrue(reason)
        self.assertFalse(self.watch.journal_has(NOT_INHIBITED))
        self.assertEqual(bus.called("UnInhibit"), [])
        self.assertEqual(self.terminate(), 0)
        bus.wait_for(lambda calls: any(call[0] == "UnInhibit" for call in calls), "UnInhibit call")
        self.assertEqual(bus.called("UnInhibit"), [[4242]])

    def test_runs_on_when_the_bus_goes_away(self):
        bus = self.start_on_private_bus()
        bus.stop()
        self.wait_for_refreshes(4)
        self.assert_clock_ticks()
        self.assertEqual(self.terminate(), 0)
        self.assertEqual(self.watch.journal()[-1], "<6>stopped")

    def test_without_a_bus_address_launches_no_bus(self):
        # libdbus's autolaunch runs dbus-launch from PATH: one that leaves a
        # mark shows whether anything in the board tried.
        tools = pathlib.Path(tempfile.mkdtemp(prefix="pelm-path-"))
        self.addCleanup(shutil.rmtree, tools, ignore_errors=True)
        mark = tools / "launched"
        launcher = tools / "dbus-launch"
        launcher.write_text(f"#!/bin/sh\ntouch '{mark}'\nexit 1\n")
        launcher.chmod(0o755)
        self.start_full_screen(DBUS_SESSION_BUS_ADDRESS=None,
                               PATH=f"{tools}{os.pathsep}{os.environ['PATH']}")
        self.wait_for_refreshes(4)
        self.assertEqual(self.terminate(), 0)
        self.assertFalse(mark.exists(), "the board launched a session bus")
        warnings = [line for line in self.watch.journal() if NOT_INHIBITED in line]
        self.assertEqual(len(warnings), 1, warnings)
        self.assertIn("no session bus address", warnings[0])


if __name__ == "__main__":
    main()
