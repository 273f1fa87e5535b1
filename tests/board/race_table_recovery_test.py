#!/usr/bin/env python3
"""The running board gets over its race table file going wrong under it:
a file overwritten with garbage is set aside and made afresh, a file
replaced by another is reopened, and the rows come back either way.

    tests/board/race_table_recovery_test.py --build build [unittest arguments]
"""

import os
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import BoardCase, main, refresh_time  # noqa: E402

SQLITE_HEADER = b"SQLite format 3\0"


def damage(board):
    table = board.data / "rmenutxt.db"
    table.write_bytes(b"this is no database " * 400)


def replace_with_fresh(board):
    with tempfile.TemporaryDirectory(dir=board.work) as elsewhere:
        subprocess.run([str(board.build / "src/pelmctl/pelmctl"), "init", str(pathlib.Path(elsewhere) / "data")],
                       cwd=elsewhere, check=True, stdout=subprocess.DEVNULL)
        os.replace(pathlib.Path(elsewhere) / "data" / "rmenutxt.db", board.data / "rmenutxt.db")


# What happens to the table file, and what the journal says of it.
CASES = [
    (damage, ["race table file broke under the board", "race table file damaged", "made afresh"]),
    (replace_with_fresh, ["race table file broke under the board"]),
]


class RaceTableRecoveryTest(BoardCase):

    def test_a_table_file_damaged_or_replaced_under_the_board_gives_the_rows_back(self):
        self.start_board()
        self.wait_for_rows()
        for number, (cause, said) in enumerate(CASES):
            with self.subTest(cause=cause.__name__):
                journal_before = len(self.watch.journal())
                cause(self.board)
                self.wait(lambda: all(any(text in line for line in self.watch.journal()[journal_before:])
                                      for text in said), f"the journal to say {said}")
                healed = refresh_time(self.status())
                self.wait_for_rows(after=healed)
                self.assertTrue((self.board.data / "rmenutxt.db").read_bytes().startswith(SQLITE_HEADER))
                self.assertEqual(self.status()["verdict"], "fine")
        # The damaged file is kept aside for a look, not deleted.
        kept = [path for path in self.board.data.iterdir() if path.name.startswith("rmenutxt.db.")]
        self.assertTrue(any(path.read_bytes().startswith(b"this is no database") for path in kept), kept)
        self.assertEqual(self.terminate(), 0)


if __name__ == "__main__":
    main()
