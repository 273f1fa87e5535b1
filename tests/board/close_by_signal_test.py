#!/usr/bin/env python3
"""SIGTERM always ends the board, at once and without a box: with its
schedule a FIFO nobody writes, and with a settings file it may not
replace, whose failure it reports in the journal and its exit status. A
broken pipe never ends it: a write to a display server resetting under it,
or to a journal reader that went, is an error, not its end. (A
service stop's SIGTERM to the board and its helpers at once is in
stalled_share_test.py: only a board on a share has helpers.)

    tests/board/close_by_signal_test.py --build build [unittest arguments]
"""

import os
import pathlib
import signal
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import ERROR_BOX_TITLE, BoardCase, main  # noqa: E402


def writable(ini):
    pass


def read_only(ini):
    os.chmod(ini, 0o444)


# How PelmDp.ini is left, and the exit status a SIGTERM then brings.
SETTINGS_CASES = [(writable, 0), (read_only, 1)]


class CloseBySignalTest(BoardCase):

    def test_sigterm_ends_the_board_with_the_status_of_its_settings_save(self):
        for make, status in SETTINGS_CASES:
            with self.subTest(settings=make.__name__):
                self.start_board()
                self.wait_for_rows()
                ini = self.board.work / "PelmDp.ini"
                make(ini)
                before = ini.read_bytes()
                self.assertEqual(self.terminate(), status)
                self.assertFalse(self.board.window_ids(ERROR_BOX_TITLE))
                journal = self.watch.journal()
                self.assertEqual(journal[-1], "<6>stopped")
                failures = [line for line in journal if "PelmDp.ini" in line]
                if status:
                    self.assertTrue(failures and failures[0].startswith("<3>"), journal)
                    self.assertEqual(ini.read_bytes(), before)  # left as the operator made it
                else:
                    self.assertEqual(failures, [])
                self.board.stop()

    def test_sigterm_ends_a_board_whose_schedule_is_a_fifo_nobody_writes(self):
        self.start_board()
        self.wait_for_rows()
        self.schedule.unlink()
        os.mkfifo(self.schedule)
        self.wait_for_state("not connected")
        self.wait_for_refreshes(2)
        self.assertEqual(self.terminate(), 0)
        self.assertEqual(self.watch.journal()[-1], "<6>stopped")

    def test_a_broken_pipe_does_not_end_the_board(self):
        self.start_board()
        self.wait_for_rows()
        self.board.process.send_signal(signal.SIGPIPE)
        self.wait_for_refreshes(2)
        self.assertIsNone(self.board.process.poll(), "ended by SIGPIPE")
        self.assertEqual(self.terminate(), 0)


if __name__ == "__main__":
    main()
