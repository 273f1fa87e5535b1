#!/usr/bin/env python3
"""The running board gets over a data folder or schedule that goes wrong:
it keeps refreshing while the cause lasts and shows the right rows once the
cause is gone, without anyone touching it.

    tests/board/schedule_recovery_test.py --build build [unittest arguments]
"""

import os
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import ERROR_BOX_TITLE, BoardCase, main  # noqa: E402

BAD_LINE = "2x:00:00,10:30:00,壊れた行"


def fifo_in_place(schedule):
    schedule.unlink()
    os.mkfifo(schedule)


def folder_in_place(schedule):
    schedule.unlink()
    schedule.mkdir()


def nothing_in_place(schedule):
    schedule.unlink()


def remove_any(schedule):
    if schedule.is_dir():
        schedule.rmdir()
    elif schedule.exists() or schedule.is_fifo():
        schedule.unlink()


class ScheduleRecoveryTest(BoardCase):

    def test_the_board_starts_once_its_data_folder_appears(self):
        later = []

        def hide_data_folder(board):
            later.append(board.data.with_name("data.later"))
            board.data.rename(later[0])
        self.start_board(before_start=hide_data_folder)
        self.wait_for_state("starting")
        self.wait(lambda: (self.status() or {}).get("error"), "the start-up failure in the status file")
        self.assertNotEqual(self.status()["verdict"], "fine")
        self.wait(lambda: self.watch.journal_has("が見つかりません", 3), "the missing folder in the journal")
        time.sleep(3)  # the folder stays away for a few start-up attempts
        later[0].rename(self.board.data)
        self.wait_for_rows()
        status = self.status()
        self.assertIsNone(status["error"])
        self.assertEqual(status["verdict"], "fine")
        self.assertTrue(self.watch.journal_has("connected, running", 6))
        self.assertTrue(self.watch.journal_has("recovered after", 6))
        self.assert_clock_ticks()

    def test_an_unreadable_schedule_leaves_the_board_refreshing_until_a_file_replaces_it(self):
        self.start_board()
        self.wait_for_rows()
        causes = [fifo_in_place, folder_in_place, nothing_in_place]
        for number, cause in enumerate(causes):
            with self.subTest(cause=cause.__name__):
                cause(self.schedule)
                self.wait_for_state("not connected")
                self.wait_for_refreshes(2)
                self.assertEqual(self.status()["verdict"], "not connected")
                remove_any(self.schedule)
                # Each round its own day, so the rows seen are the new file's.
                lines = [line.replace("組", f"回{number}") for line in self.lines]
                self.replace_schedule(lines)
                self.wait_for_rows(lines)
        self.assert_clock_ticks()
        self.assertEqual(self.terminate(), 0)

    def test_a_bad_line_is_reported_once_and_clears_with_the_fixed_schedule(self):
        self.start_board()
        self.wait_for_rows()
        self.replace_schedule([BAD_LINE] + self.lines)
        # The line is left out and reported; the other races stay on screen.
        self.wait(lambda: (self.status() or {}).get("errorCount", 0) >= 4,
                  "the left-out line counted over several refreshes")
        status = self.status()
        self.assertIn("2x:00:00", status["error"])
        self.wait_for_rows()
        self.wait(lambda: self.board.window_ids(ERROR_BOX_TITLE), "the error box")
        self.replace_schedule(self.lines)
        self.wait(lambda: (self.status() or {}).get("error", "") is None, "the error cleared")
        self.wait(lambda: not self.board.window_ids(ERROR_BOX_TITLE), "the error box closed")
        self.wait_for_journal("recovered after", 6)
        reports = [line for line in self.watch.journal() if "2x:00:00" in line]
        self.assertEqual(len(reports), 2, reports)  # the error once, its recovery once
        self.assertTrue(reports[0].startswith("<3>"), reports)
        self.assertEqual(self.status()["verdict"], "fine")


if __name__ == "__main__":
    main()
