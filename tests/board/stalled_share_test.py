#!/usr/bin/env python3
"""A board on a share in the test's hands (tests/support/fuse_share.py): a
slow share is read, shown and reported fine, the clock ticking all along;
an open that races a writer's rename is tried again, not taken for a lost
schedule; a stalled share makes the board not connected after 3 s and back
within a second of its answer; the window keeps beating whatever the share
does.
Helpers run only for folders that may stall, none outlives the board, and
one that cannot be had (the process or open-file limit) costs the board
its rows, never its clock. Nothing of ours waits in a stalled share: a
board whose status folder or data folder stalls is gone at once after a
SIGTERM, `pelmctl status --venue` ends in time, and a helper left waiting
in the share ends once it answers.

    tests/board/stalled_share_test.py --build build [unittest arguments]
"""

import fcntl
import os
import pathlib
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve()
sys.path.insert(0, str(HERE.parent))
sys.path.insert(0, str(HERE.parents[1] / "support"))
from board_case import BUILD, CAPTION, BoardCase, main  # noqa: E402
from fuse_share import Share  # noqa: E402
from service_notify_test import NotifySocket  # noqa: E402
from system_user import system_user  # noqa: E402

# A share this slow answers a read of each file (look, open, read, close)
# in a second or two, and of both files in up to some 3 s: slow, and still
# within the 3 s a board allows the share for each file.
SLOW_CALL_MS = 300
# With nothing of ours waiting in the share, a board is gone this soon after
# a SIGTERM, and `pelmctl status --venue` within what a monitoring script
# waits; the helper left waiting in the share ends this soon once it answers.
GONE_SECONDS = 2
VENUE_STATUS_SECONDS = 3
HELPER_END_SECONDS = 10
# The watchdog's interval under the test's manager, and the longest gap
# between pings a beating window leaves.
WATCHDOG_USEC = 2_000_000
LONGEST_GAP = 1.5
LIMITED_USER = "pelm-limited"


def limited_user():
    """(uid, gid) of an unprivileged user of its own: the process limit
    counts a user's processes, and root is never held to it."""
    return system_user(LIMITED_USER)


def checks_objects_with_descriptors():
    """Whether this build's board is under UBSan, whose check of an object
    behind a virtual call opens a pipe to see whether the memory can be read:
    out of descriptors, every such check not yet cached reports the object
    as bad and ends the board, wherever the board is."""
    return b"__ubsan_handle_dynamic_type_cache_miss" in (BUILD / "src/board/PelmDp").read_bytes()


def helpers_of(board):
    """The board's live helper processes (pelm-share)."""
    return [pid for pid in board.family()[1:] if process_name(pid) == "pelm-share"]


def process_name(pid):
    try:
        return pathlib.Path(f"/proc/{pid}/comm").read_text().strip()
    except OSError:
        return None


class ShareCase(BoardCase):
    interrupts = "honoured"

    def setUp(self):
        self.share = Share(self.interrupts)
        self.addCleanup(self.share.remove)

    def start_on_share(self, **options):
        self.start_board(data=self.share.mount, **options)
        self.addCleanup(self.share.thaw)  # before the board stops

    def replace_schedule(self, lines):
        """As a venue's writer does from another PC: the new file renamed
        over the old on the server, in the folder the share shows. A rename
        made through this test share's own mount leaves this PC's name cache
        on the old file for a moment after the share has forgotten it, and
        an open in that moment fails, and again when tried at once: a race of
        the test share's making (the rename-race case holds the board to
        what a real share does)."""
        super().replace_schedule(lines, folder=self.share.backing)

    def listen(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-notify-"))
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.notify = NotifySocket(folder / "notify")
        self.addCleanup(self.notify.close)
        return {"NOTIFY_SOCKET": str(folder / "notify"), "WATCHDOG_USEC": str(WATCHDOG_USEC)}

    def assert_window_beats(self, seconds):
        """Watchdog pings keep coming from the window's thread for `seconds`."""
        start = len(self.notify.seen())
        time.sleep(seconds)
        pings = [when for when, line in self.notify.seen(start) if line == "WATCHDOG=1"]
        self.assertGreaterEqual(len(pings), 2, "watchdog pings")
        moments = [time.monotonic() - seconds] + pings + [time.monotonic()]
        gap = max(later - earlier for earlier, later in zip(moments, moments[1:]))
        self.assertLess(gap, LONGEST_GAP, "the longest gap between pings")


class SlowAndStalledShareTest(ShareCase):

    def test_a_slow_share_is_read_shown_and_fine(self):
        self.share.slow(SLOW_CALL_MS)
        self.start_on_share()
        self.wait_for_rows()
        self.assert_clock_ticks()
        status = self.wait(lambda: "dataReadMs" in self.status() and self.status(),
                           "how long the reads take, in the status")
        self.assertEqual(status["verdict"], "fine")
        self.assertGreaterEqual(status["dataReadMs"], SLOW_CALL_MS)
        data = [folder for folder in status["folders"] if folder["role"] == "data"]
        self.assertTrue(data and data[0]["mayStall"], status["folders"])
        # A new schedule reaches the grid, through the slow share.
        lines = [line.replace("組", "レース") for line in self.lines]
        self.replace_schedule(lines)
        self.wait_for_rows(lines)
        self.assertFalse(self.watch.journal_has("not connected"))

    def test_an_open_that_races_a_writers_rename_is_not_a_lost_schedule(self):
        self.start_on_share()
        self.wait_for_rows()
        self.share.vanish_once("RInfo.txt")
        self.wait(self.share.vanished, "the board's open of the schedule, failed once")
        self.wait_for_refreshes()
        self.assertEqual(self.status()["state"], "running")
        self.assertFalse(self.watch.journal_has("not connected"))

    def test_a_stalled_share_is_not_connected_after_3_s_and_back_when_it_answers(self):
        self.start_on_share(before_start=lambda board: board.environment.update(self.listen()))
        self.wait_for_rows()
        stalled = time.monotonic()
        self.share.freeze()
        self.wait_for_state("not connected")
        took = time.monotonic() - stalled
        self.assertGreaterEqual(took, 2.5, "a read unanswered for 3 s, not a slow one")
        self.assertEqual(self.status()["verdict"], "not connected")
        self.assert_window_beats(2)
        thawed = time.monotonic()
        self.share.thaw()
        self.wait_for_rows()
        print(f"\nnot connected {took:.1f} s after the share stalled; the rows back "
              f"{time.monotonic() - thawed:.2f} s after it answered", file=sys.stderr)
        self.assertEqual(self.status()["verdict"], "fine")
        self.assert_clock_ticks()

    def test_a_share_that_stalls_between_two_calls_of_a_read_holds_no_beat(self):
        self.start_on_share(before_start=lambda board: board.environment.update(self.listen()))
        self.wait_for_rows()
        self.share.freeze("read")  # the next read's open answers, its read does not
        self.assert_window_beats(4)
        self.wait_for_state("not connected")
        self.share.thaw()
        self.wait_for_rows()


class HelpersTest(ShareCase):

    def test_helpers_run_only_for_folders_that_may_stall_and_none_outlives_the_board(self):
        self.start_board()
        self.wait_for_rows()
        self.assertEqual(self.board.family(), [self.board.process.pid], "a local board's children")
        self.assertEqual(self.terminate(), 0)
        self.board.stop()

        status = pathlib.Path(tempfile.mkdtemp(prefix="pelm-status-"))
        self.addCleanup(shutil.rmtree, status, ignore_errors=True)
        (self.share.backing / "status").mkdir()
        self.start_on_share(status_dir=self.share.mount / "status")
        self.wait_for_rows()
        self.wait(lambda: len(helpers_of(self.board)) == 2, "a helper for each folder on the share")
        helpers = helpers_of(self.board)
        self.assertEqual(self.terminate(), 0)
        self.wait(lambda: not any(process_name(pid) for pid in helpers), "the helpers gone")

    def test_a_board_in_a_folder_on_the_share_follows_and_saves_its_settings(self):
        # Its settings are looked at and saved through a helper: a Name
        # deployed meanwhile shows. As systemd stops the unit, SIGTERM goes
        # to each process of its cgroup at once, the helpers first here.
        work = self.share.mount / "board"
        self.start_board(work=work, data=work)
        self.addCleanup(self.share.thaw)
        self.wait_for_rows()
        with open(work / "PelmDp.ini", "ab") as settings:
            settings.write("Name=パドック\r\n".encode("cp932"))
        self.wait(lambda: self.status().get("name") == "パドック", "the new name in the status")
        helpers = helpers_of(self.board)
        self.assertTrue(helpers, "the board has folder helpers")
        for pid in helpers + [self.board.process.pid]:
            os.kill(pid, signal.SIGTERM)
        self.assertEqual(self.wait_for_exit(), 0)
        journal = self.watch.journal()
        self.assertEqual([line for line in journal if "PelmDp.ini" in line], [], journal)

    def test_out_of_processes_or_files_the_board_keeps_its_clock_and_names_the_limit(self):
        # The board alone has 3 threads (its own, the X queue's, the bus's)
        # and some 16 descriptors: limits that leave it those, but no room
        # for a worker's thread, a helper, or a helper's descriptors.
        uid, gid = limited_user()
        cases = [(resource.RLIMIT_NPROC, 3, "RLIMIT_NPROC"),
                 (resource.RLIMIT_NPROC, 4, "RLIMIT_NPROC"),
                 (resource.RLIMIT_NOFILE, 14, "RLIMIT_NOFILE")]
        for limit, value, name in cases:
            with self.subTest(limit=name, value=value):
                if limit == resource.RLIMIT_NOFILE and checks_objects_with_descriptors():
                    self.skipTest("UBSan itself needs descriptors; the build without it runs this case")
                def as_limited_user(board):
                    for folder in (board.work, pathlib.Path(self.watch.runtime)):
                        for path in [folder] + list(folder.rglob("*")):
                            os.chown(path, uid, gid)
                    board.user, board.limits = (uid, gid), {limit: value}
                self.start_on_share(before_start=as_limited_user)
                try:
                    self.wait_for_journal(name)
                    self.assert_clock_ticks()
                    self.assertTrue(self.board.alive(), self.board.journal())
                    # Read as the board wrote it: pelmctl, run as root here,
                    # believes no status folder of another user.
                    self.assertIn(name, self.watch.status()["error"] or "")
                    self.assertEqual(self.terminate(), 0)
                finally:
                    self.board.stop()  # the next case's process count starts afresh


class RaceTableOffTheShareTest(ShareCase):

    def test_a_table_the_settings_put_on_a_share_is_kept_locally_and_said(self):
        self.start_board(table_dir=self.share.mount)
        self.wait_for_rows()
        local = self.board.work / "table"
        self.assertTrue((local / "rmenutxt.db").exists(), "the table kept in the board's folder")
        self.assertTrue(self.watch.journal_has("race table kept in", 4))
        [table] = [folder for folder in self.status()["folders"] if folder["role"] == "race table"]
        self.assertEqual(table["path"], str(local))
        shown = subprocess.run([str(BUILD / "src/pelmctl/pelmctl"), "status"], cwd=self.board.work,
                               capture_output=True, text=True,
                               env=dict(os.environ, XDG_RUNTIME_DIR=self.watch.runtime)).stdout
        self.assertIn("warning: kept here instead", shown)
        checked = subprocess.run([str(BUILD / "src/pelmctl/pelmctl"), "check"],
                                 cwd=self.board.work, capture_output=True, text=True).stdout
        self.assertIn("may stall", checked)
        # The share stalls: the board, reading its schedule locally, runs on.
        self.share.freeze()
        self.wait_for_refreshes(4)
        self.assertEqual(self.status()["state"], "running")


class EndsPastAStalledShare:
    """A share stalled under a program of ours, interrupts `interrupts`: the
    program ends in time, and what it left waiting in the share ends once
    the share answers."""

    interrupts = None

    def sigterm_with_the_share_stalled(self):
        """Seconds from a SIGTERM to the board's end, the share stalled
        under its running board long enough for a call on it to hang."""
        self.addCleanup(self.share.thaw)  # before the board stops
        self.wait_for_rows()
        self.share.freeze()
        time.sleep(1.5)
        ini = self.board.work / "PelmDp.ini"
        ini.write_bytes(b"[Env]\r\n")  # the save at close puts the board's keys back
        began = time.monotonic()
        self.board.process.send_signal(signal.SIGTERM)
        try:
            self.board.process.wait(HELPER_END_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail(f"the board did not end within {HELPER_END_SECONDS} s of SIGTERM")
        took = time.monotonic() - began
        print(f"\nSIGTERM to the board's end, interrupts {self.interrupts}: {took:.3f} s",
              file=sys.stderr)
        self.assertIn(b"DataDir=", ini.read_bytes(), "the settings saved")
        self.assertEqual(self.watch.journal()[-1], "<6>stopped")
        return took

    def assert_gone_and_free(self, took, table, helpers):
        self.assertLess(took, GONE_SECONDS)
        self.assertFalse(self.board.window_ids(CAPTION), "its window is gone")
        with open(table / "pelm-board.lock", "rb+") as lock:
            fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)  # another board could take it
        self.assert_helpers_end_once_the_share_answers(helpers)

    def assert_helpers_end_once_the_share_answers(self, helpers):
        if self.interrupts == "ignored":
            self.assertTrue(any(process_name(pid) for pid in helpers), "left waiting in the share")
        self.share.thaw()
        self.wait(lambda: not any(process_name(pid) for pid in helpers),
                  "the helpers to end once the share answers", HELPER_END_SECONDS)

    def test_a_board_with_its_status_folder_stalled_is_gone_at_once(self):
        table = pathlib.Path(tempfile.mkdtemp(prefix="pelm-table-"))
        self.addCleanup(shutil.rmtree, table, ignore_errors=True)
        self.start_board(status_dir=self.share.mount, table_dir=table)
        self.wait(lambda: helpers_of(self.board), "the status folder's helper")
        helpers = helpers_of(self.board)
        self.assert_gone_and_free(self.sigterm_with_the_share_stalled(), table, helpers)

    def test_a_board_with_its_data_folder_stalled_is_gone_at_once(self):
        self.start_board(data=self.share.mount)
        self.wait(lambda: helpers_of(self.board), "the data folder's helper")
        helpers = helpers_of(self.board)
        self.assert_gone_and_free(self.sigterm_with_the_share_stalled(), self.board.work / "table",
                                  helpers)

    def test_pelmctl_status_venue_on_a_stalled_share_ends_in_time(self):
        (self.share.mount / "kiosk-1.json").write_text("{}")
        work = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-"))
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        self.share.freeze()
        self.addCleanup(self.share.thaw)
        began = time.monotonic()
        pelmctl = subprocess.Popen([str(BUILD.resolve() / "src/pelmctl/pelmctl"), "status",
                                    "--venue", str(self.share.mount)], cwd=work,
                                   stdout=subprocess.PIPE, text=True)
        try:
            printed = pelmctl.communicate(timeout=HELPER_END_SECONDS)[0]
        except subprocess.TimeoutExpired:
            self.share.thaw()
            pelmctl.communicate()
            self.fail(f"pelmctl status --venue did not end within {HELPER_END_SECONDS} s")
        took = time.monotonic() - began
        print(f"\npelmctl status --venue to its end, interrupts {self.interrupts}: {took:.3f} s",
              file=sys.stderr)
        self.assertLess(took, VENUE_STATUS_SECONDS)
        self.assertIn("stalled", printed)
        self.assertEqual(pelmctl.returncode, 1)


class EndsPastAShareIgnoringInterruptsTest(EndsPastAStalledShare, ShareCase):
    interrupts = "ignored"


class EndsPastAShareHonouringInterruptsTest(EndsPastAStalledShare, ShareCase):
    interrupts = "honoured"


if __name__ == "__main__":
    main()
