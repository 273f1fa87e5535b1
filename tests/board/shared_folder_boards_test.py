#!/usr/bin/env python3
"""Boards that share a data folder, run whole under a virtual display: with
tables of their own they all keep refreshing while a writer replaces the
schedule; on one table the second is refused, says by whom, and takes over
when the first closes.

    tests/board/shared_folder_boards_test.py BUILD_FOLDER
"""

import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

REPO = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests/support"))
from board_harness import (Board, VirtualScreen, refresh_rate,  # noqa: E402
                           replace_schedule, run_tests, venue_statuses)
from board_watch import wait_until  # noqa: E402

BUILD = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else "build").resolve()
WINDOW = 5.0  # seconds over which refreshes are counted




class Writer(threading.Thread):
    """The venue's schedule writer: a new schedule renamed in twice a second."""

    def __init__(self, data, races=40):
        super().__init__(daemon=True)
        self.data, self.races, self.done = data, races, threading.Event()

    def run(self):
        generation = 0
        while not self.done.wait(0.5):
            generation += 1
            replace_schedule(self.data, self.races, generation)


class SharedFolder(unittest.TestCase):
    def setUp(self):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-test-")).resolve()
        self.data = self.root / "share"
        self.status = self.root / "status"
        self.data.mkdir()
        self.status.mkdir()
        replace_schedule(self.data, 40, 0)
        self.screen = VirtualScreen()
        self.boards = []

    def tearDown(self):
        for board in self.boards:
            board.stop()
        self.screen.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def board(self, name, own_table):
        work = self.root / name
        board = Board(BUILD, work=work, data=self.data, screen=self.screen, status_dir=self.status,
                      table_dir=work / "table" if own_table else None)
        board.prepare()
        self.boards.append(board)
        return board

    def status_of(self, board):
        return venue_statuses(self.status).get(str(board.work))

    def test_boards_with_tables_of_their_own_all_keep_refreshing(self):
        boards = [self.board(name, own_table=True) for name in ("paddock", "press")]
        writer = Writer(self.data)
        writer.start()
        try:
            for board in boards:
                board.start()
            for board in boards:
                wait_until(lambda: (self.status_of(board) or {}).get("state") == "running", 20,
                           f"{board.work.name} runs")
            earlier = [self.status_of(board) for board in boards]
            time.sleep(WINDOW)
            for board, before in zip(boards, earlier):
                self.assertGreaterEqual(refresh_rate(self.status_of(board), before), 3,
                                        board.work.name)
        finally:
            writer.done.set()
            writer.join()
        listing = subprocess.run([str(BUILD / "src/pelmctl/pelmctl"), "status", "--venue", str(self.status)],
                                 capture_output=True, text=True)
        self.assertEqual(listing.returncode, 0, listing.stdout + listing.stderr)
        self.assertEqual(listing.stdout.count("running"), 2, listing.stdout)
        self.assertFalse((self.data / "rmenutxt.db").exists(), "no table in the shared folder")

    def test_a_second_board_on_one_table_waits_its_turn(self):
        first, second = self.board("big-screen", own_table=False), self.board("officials", own_table=False)
        first.start()
        wait_until(lambda: (self.status_of(first) or {}).get("state") == "running", 20, "the first runs")
        second.start()
        refused = wait_until(lambda: (self.status_of(second) or {}).get("error"), 20, "the second is refused")
        self.assertIn(f"pid {first.process.pid}", refused)
        self.assertIn(str(self.data), refused)
        wait_until(lambda: "--table-dir" in second.journal(), 10, "the journal says what to change")

        before = self.status_of(first)
        time.sleep(WINDOW / 2)
        self.assertGreaterEqual(refresh_rate(self.status_of(first), before), 3,
                                "the first is undisturbed")
        self.assertEqual(self.status_of(first).get("error"), None)

        self.assertEqual(first.stop(), 0)
        wait_until(lambda: (self.status_of(second) or {}).get("state") == "running"
                   and self.status_of(second).get("error") is None, 10, "the second takes over")


if __name__ == "__main__":
    run_tests()
