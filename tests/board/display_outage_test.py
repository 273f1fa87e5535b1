#!/usr/bin/env python3
"""A board started while its display is away waits for it, however long,
and shows on it within seconds of its return, with nothing else done: no
restart, no person. Meanwhile it says so once in the journal (never a line
a second) and tells the service manager it is up and waiting, with
watchdog pings, so the manager neither kills it nor starts it again.

The board runs under libfaketime at many times the real speed, so an outage
longer than the service manager's old give-up (60 starts, about 6 min 20 s)
passes in seconds; the display is a real Xvfb, started late.

    tests/board/display_outage_test.py --build build [unittest arguments]
"""

import glob
import os
import pathlib
import random
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import CAPTION, BoardCase, main  # noqa: E402
from board_harness import VirtualScreen  # noqa: E402
from board_watch import await_start  # noqa: E402
from service_notify_test import NotifySocket  # noqa: E402

SPEED = 40
# The service manager's old give-up, in the board's own (fast) time.
OLD_GIVE_UP_SECONDS = 6 * 60 + 20
# From the display's return to the board's seeing it (bench/display_outage
# measures how soon its window follows).
BACK_WITHIN_SECONDS = 10


class LateScreen(VirtualScreen):
    """An Xvfb on a display number picked now and started only when asked."""

    def __init__(self):
        self.process = None
        while True:
            self.display = random.randrange(600, 900)
            if not (pathlib.Path(f"/tmp/.X{self.display}-lock").exists()
                    or pathlib.Path(f"/tmp/.X11-unix/X{self.display}").exists()):
                return

    def start(self):
        self.process = subprocess.Popen(
            ["Xvfb", f":{self.display}", "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        if self.process:
            super().stop()


def faketime_library():
    found = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
    if not found:
        raise RuntimeError("libfaketime not found (package faketime)")
    return found[0]


def minutes_in(line):
    """N of 'recovered after N min' (0 when it says seconds)."""
    found = re.search(r"recovered after (\d+) (s|min)", line)
    return int(found.group(1)) if found and found.group(2) == "min" else 0


class DisplayOutageTest(BoardCase):

    def journal_lines(self, text):
        return [line for line in self.board.journal().splitlines() if text in line]

    def listen(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-outage-"))
        self.notify = NotifySocket(folder / "notify")
        self.addCleanup(self.notify.close)
        return folder / "notify"

    def test_waits_out_a_long_outage_and_shows_when_the_display_returns(self):
        screen = LateScreen()
        self.addCleanup(screen.stop)
        notify_path = self.listen()

        def on_the_late_screen(board):
            board.screen = screen
            # A sanitizer build wants its runtime first among the libraries;
            # libfaketime, preloaded, comes before it.
            sanitizer = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                               "verify_asan_link_order=0"]))
            board.environment.update(
                LD_PRELOAD=faketime_library(), FAKETIME=f"+0 x{SPEED}",
                NOTIFY_SOCKET=str(notify_path), WATCHDOG_USEC="10000000",
                ASAN_OPTIONS=sanitizer)
        self.start_board(on_the_late_screen, wait=False)

        time.sleep(OLD_GIVE_UP_SECONDS / SPEED + 2)
        self.assertTrue(self.board.alive(), self.board.journal())
        gone = self.journal_lines("no display to show the board on")
        self.assertEqual(len(gone), 1, self.board.journal())
        self.assertTrue(gone[0].startswith("<3>"), gone[0])
        said = [line for _, line in self.notify.seen()]
        self.assertIn("READY=1", said)
        self.assertIn("STATUS=waiting for a display", said)
        self.assertGreaterEqual(said.count("WATCHDOG=1"), 3, said)

        screen.start()
        # The board sees the display within its next look; its window then
        # comes after Qt's start-up, which is waited for as any start-up.
        self.wait(lambda: self.journal_lines("recovered after"), "the display seen again",
                  BACK_WITHIN_SECONDS)
        await_start(lambda: self.board.window_ids(CAPTION), lambda: not self.board.alive(),
                    self.board.start_report, "the board's window on the returned display")
        back = self.journal_lines("recovered after")
        self.assertEqual(len(back), 1, self.board.journal())
        self.assertGreaterEqual(minutes_in(back[0]), OLD_GIVE_UP_SECONDS // 60, back[0])
        self.assert_clock_ticks()
        self.assertEqual(self.terminate(), 0)


if __name__ == "__main__":
    main()
