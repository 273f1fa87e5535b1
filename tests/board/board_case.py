"""The real PelmDp under Xvfb, in a board folder of its own, watched the way
an operator watches it: `pelmctl status --json`, the journal on stderr and
the screen. Shared by the whole-program tests in this folder.

Each test script takes `--build DIR` (the build folder holding the programs)
before unittest's own arguments.
"""

import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time
import unittest

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(REPO / "tests/support"))
from board_harness import Board, build_folder, run_tests  # noqa: E402
from board_watch import (Watch, day_lines, refresh_time, runtime_folder,  # noqa: E402,F401
                         schedule_bytes, shows, wait_until)

# Deadlines for what a started board does on its own (its start-up has a
# bound of its own, board_watch.STARTUP_SECONDS). They bound a hang, they do
# not measure speed (bench/recovery does): generous enough for a sanitizer
# build on a loaded two-core machine, far short of the never a stuck board
# takes.
RECOVERY_SECONDS = 15
EXIT_SECONDS = 10
CAPTION = "Tovalen V1.3"
ERROR_BOX_TITLE = "Pelmdp"


BUILD = build_folder()


class BoardCase(unittest.TestCase):
    """Starts one board per call of start_board and always stops it."""

    def start_board(self, before_start=None, wait=True, **board_options):
        """`board_options` go to board_harness.Board (data, table_dir, ...);
        `wait` False returns before the board's window shows."""
        runtime = runtime_folder()
        self.addCleanup(shutil.rmtree, runtime, ignore_errors=True)
        board = Board(BUILD, environment={"XDG_RUNTIME_DIR": runtime}, **board_options)
        self.addCleanup(board.remove)
        board.prepare()
        self.board, self.watch = board, Watch(board, runtime)
        self.lines = day_lines()
        self.schedule = board.data / "RInfo.txt"
        self.schedule.write_bytes(schedule_bytes(self.lines))
        if before_start:
            before_start(board)
        self.addCleanup(board.stop)
        board.start(wait)
        return board

    # --- waiting ---------------------------------------------------------
    def wait(self, condition, what, seconds=RECOVERY_SECONDS):
        """Waits for `condition`, `seconds` from the end of the board's
        start-up (see Board.await_start); a failure carries the journal's
        tail."""
        if getattr(self, "board", None):  # a test of pelmctl alone starts none
            self.board.await_start()
        try:
            return wait_until(condition, seconds, what, poll=0.1)
        except AssertionError as failure:
            tail = "\n".join(self.watch.journal()[-60:])
            raise AssertionError(f"{failure}\njournal:\n{tail}") from None

    def status(self):
        return self.watch.operator_status()

    def wait_for_state(self, state):
        return self.wait(lambda: (self.status() or {}).get("state") == state and self.status(),
                         f'state "{state}"')

    def wait_for_rows(self, lines=None, after=None):
        """Waits until the status file lists the rows `lines` should show,
        from a refresh later than `after` (a refresh_time) when given."""
        lines = lines or self.lines

        def right():
            status = self.status()
            fresh = after is None or refresh_time(status) > after
            return fresh and shows(status, lines) and status
        return self.wait(right, "the schedule's rows in the status file")

    def wait_for_refreshes(self, count=2):
        """Waits until the board has refreshed `count` more times, as its
        status file's last refresh shows: the window's thread is not stuck."""
        seen = [refresh_time(self.status())]

        def advanced():
            now = refresh_time(self.status())
            if now > seen[-1]:
                seen.append(now)
            return len(seen) > count
        self.wait(advanced, f"{count} more refreshes in the status file")

    def wait_for_journal(self, text, priority=None):
        self.wait(lambda: self.watch.journal_has(text, priority), f"journal line with {text!r}")

    def wait_for_exit(self):
        try:
            return self.board.process.wait(EXIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail(f"the board did not end within {EXIT_SECONDS} s of SIGTERM")

    # --- the screen ----------------------------------------------------------
    def clock_band(self):
        """The pixels of the clock's region of the window, as on screen now."""
        left, top = self.board.window_origin(CAPTION)
        width, _, pixels = self.board.screen_ppm()
        # The clock sits right of the large logo, above the previous race's
        # box (its top at 133), whose title would otherwise reach into it.
        return b"".join(pixels[(y * width + left + 232) * 3:(y * width + left + 900) * 3]
                        for y in range(top, top + 133))

    def settled_clock_band(self, pause=0.5):
        """The clock's region once two looks `pause` seconds apart agree: a
        journal line can come a moment before the repaint that goes with it."""
        looks = [self.clock_band()]

        def agrees():
            time.sleep(pause)
            looks.append(self.clock_band())
            return looks[-1] == looks[-2]
        self.wait(agrees, "the clock region at rest")
        return looks[-1]

    def assert_clock_ticks(self):
        """The clock region changes on screen: the window paints, the clock runs."""
        first = self.clock_band()
        self.wait(lambda: self.clock_band() != first, "the clock region to change")

    def terminate(self):
        self.board.process.send_signal(signal.SIGTERM)
        return self.wait_for_exit()

    def replace_schedule(self, lines, folder=None):
        """Puts a new schedule in place as a writer does: written beside,
        renamed over; in `folder` when given, else where the board reads."""
        schedule = pathlib.Path(folder) / "RInfo.txt" if folder else self.schedule
        fresh = schedule.with_name("RInfo.txt.new")
        fresh.write_bytes(schedule_bytes(lines))
        os.replace(fresh, schedule)


def main():
    run_tests()
