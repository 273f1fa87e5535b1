"""A copy that claims a real board, rewritten every 0.2 s by another user
of the venue's PC who can write the sticky status folder as every board
can. The real PelmDp runs as a user of its own under Xvfb, showing an
error; the forger runs as another; `pelmctl serve` reads them as root.

The forged copy never speaks for the board: two copies that claim it are
trouble at the worse verdict, so the board killed with SIGKILL is not
answering in the time any board that stops takes; with the board's user
named in expected-boards.txt the forged copy is refused and reported; with
the venue key, a copy written without it is a forgery.

Needs root, to be three users (the two made here when missing); without it
the test reports itself not run."""

import datetime
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from venue_folder import BUILD, PELMCTL, Server

from board_harness import Board  # noqa: E402
from system_user import system_user  # noqa: E402

BOARD_USER = "pelm-venue-board"
FORGER_USER = "pelm-venue-forger"
NAME = "パドック"
# A board that stops writing is not answering after 10 s; the looks come
# twice a second, and a loaded machine adds its own delay.
STOPPED_SECONDS = 10
MARGIN_SECONDS = 3

# The system's own Python: the one running the tests may live where only
# root can reach.
FORGER_PYTHON = "/usr/bin/python3"
# The forger: the board's copy as it was, said fine and fresh, again and
# again, under a name of its own.
FORGER = r"""
import datetime, json, os, sys, time
target, claim = sys.argv[1], json.loads(sys.argv[2])
while True:
    now = datetime.datetime.now(datetime.timezone.utc)
    stamp = now.strftime("%Y-%m-%dT%H:%M:%S.") + f"{now.microsecond // 1000:03d}Z"
    claim.update(writtenAt=stamp, lastRefreshAt=stamp, error=None, errorCount=0)
    with open(target + ".tmp", "w") as scratch:
        json.dump(claim, scratch, ensure_ascii=False)
    os.replace(target + ".tmp", target)
    time.sleep(0.2)
"""


def as_user(uid, gid):
    def drop():
        os.setgid(gid)
        os.setgroups([])
        os.setuid(uid)
    return drop


def get(url):
    with urllib.request.urlopen(url, timeout=10) as answer:
        return answer.read().decode()


class Forgery(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("not run: two users of one PC need root")
        cls.board_uid, cls.board_gid = system_user(BOARD_USER)
        cls.forger_ids = system_user(FORGER_USER)
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="pelm-forgery-"))
        os.chmod(cls.work, 0o755)
        cls.status = cls.work / "status"
        cls.status.mkdir()
        os.chmod(cls.status, 0o1777)  # as /tmp: everyone writes, nobody replaces another's
        cls.key = cls.work / "venue.key"
        subprocess.run([str(PELMCTL), "venue-key", str(cls.key)], check=True,
                       stdout=subprocess.DEVNULL)
        os.chown(cls.key, 0, cls.board_gid)
        try:
            cls.board = cls.start_board()
            cls.copy = cls.board_copy()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start_board(cls):
        home = cls.work / "board"
        runtime = cls.work / "runtime"
        runtime.mkdir(mode=0o700)
        board = Board(BUILD, work=home, status_dir=cls.status,
                      environment={"XDG_RUNTIME_DIR": str(runtime), "HOME": str(home)})
        board.prepare()
        with open(home / "PelmDp.ini", "ab") as settings:
            settings.write(f"Name={NAME}\r\nVenueKey={cls.key}\r\n".encode("cp932"))
        with open(board.data / "RInfo.txt", "ab") as schedule:
            schedule.write(b"25:00:00,26:00:00,bad\r\n")  # the board shows an error
        for folder in (home, runtime):
            for path in [folder, *folder.rglob("*")]:
                os.chown(path, cls.board_uid, cls.board_gid)
        board.preexec = as_user(cls.board_uid, cls.board_gid)
        board.start()
        return board

    @classmethod
    def board_copy(cls):
        """The name of the board's own copy, once it says the board runs
        and shows its error."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            for path in cls.status.glob("*.json"):
                try:
                    copy = json.loads(path.read_bytes())
                except (OSError, ValueError):
                    continue  # replaced meanwhile
                if (path.stat().st_uid == cls.board_uid and copy["state"] == "running"
                        and copy["error"]):
                    return path.name
            time.sleep(0.2)
        raise AssertionError("the board wrote no copy of its error:\n" + cls.board.journal())

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "board", None):
            cls.board.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def tearDown(self):
        (self.status / "expected-boards.txt").unlink(missing_ok=True)

    def forge(self):
        """Starts the forger as its own user; the forged copy's name."""
        claim = json.loads((self.status / self.copy).read_bytes())
        claim.pop("signature", None)
        target = self.status / (self.copy[:-5] + "-2.json")
        forger = subprocess.Popen([FORGER_PYTHON, "-c", FORGER, str(target), json.dumps(claim)],
                                  preexec_fn=as_user(*self.forger_ids))
        self.addCleanup(lambda: target.unlink(missing_ok=True))
        self.addCleanup(forger.wait)
        self.addCleanup(forger.kill)
        return target.name

    def serve(self, *options):
        server = Server(self.status, "127.0.0.1:0", *options)
        self.addCleanup(server.stop)
        return server

    def wait_for(self, server, condition, what, seconds=15):
        """The venue once `condition` holds of it."""
        deadline = time.monotonic() + seconds
        while True:
            venue = json.loads(get(server.url + "venue.json"))
            if condition(venue):
                return venue
            if time.monotonic() > deadline:
                raise AssertionError(f"{what} within {seconds} s: {json.dumps(venue)[:3000]}\n"
                                     f"journal:\n{self.board.journal()[-1500:]}")
            time.sleep(0.25)

    def forgeries(self, venue):
        return [board for board in venue["boards"] if board["verdict"] == "forged"]

    def real(self, venue):
        return [board for board in venue["boards"] if board["copy"] == self.copy]

    def test_1_the_named_owner_refuses_a_copy_of_another_user(self):
        (self.status / "expected-boards.txt").write_text(f"{NAME} {BOARD_USER}\n")
        forged = self.forge()
        server = self.serve()
        venue = self.wait_for(server, lambda v: self.forgeries(v) and self.real(v),
                              "the forgery and the board")
        [forgery] = self.forgeries(venue)
        self.assertEqual((forgery["copy"], forgery["owner"], forgery["forgery"],
                          forgery["expectedOwner"]),
                         (forged, FORGER_USER, "owner", BOARD_USER))
        self.assertTrue(forgery["trouble"])
        [board] = self.real(venue)
        self.assertEqual((board["name"], board["owner"], board["verdict"], board["conflict"]),
                         (NAME, BOARD_USER, "error", False))
        self.assertEqual(venue["copies"]["forged"], 1)
        self.assertIn('pelm_venue_copies{kind="forged"} 1', get(server.url + "metrics"))

    def test_2_with_the_venue_key_a_copy_written_without_it_is_a_forgery(self):
        self.assertIn(b'"signature":"hmac-sha256:', (self.status / self.copy).read_bytes())
        forged = self.forge()
        server = self.serve("--venue-key", str(self.key))
        venue = self.wait_for(server, lambda v: self.forgeries(v) and self.real(v),
                              "the forgery and the board")
        [forgery] = self.forgeries(venue)
        self.assertEqual((forgery["copy"], forgery["owner"], forgery["forgery"]),
                         (forged, FORGER_USER, "unsigned"))
        [board] = self.real(venue)
        self.assertEqual((board["verdict"], board["conflict"]), ("error", False))

    def test_3_a_killed_board_is_trouble_while_another_user_rewrites_its_copy(self):
        forged = self.forge()
        server = self.serve()
        venue = self.wait_for(server, lambda v: any(b["duplicates"] for b in v["boards"]),
                              "both copies claiming the board")
        [board] = venue["boards"]
        self.assertEqual((board["copy"], board["verdict"], board["trouble"]),
                         (self.copy, "error", True), "the worse of the two, never the newer")
        self.assertEqual([(other["copy"], other["owner"]) for other in board["duplicates"]],
                         [(forged, FORGER_USER)])

        os.kill(self.board.process.pid, signal.SIGKILL)
        killed = time.monotonic()
        venue = self.wait_for(server, lambda v: self.seen_trouble(v) == "not answering",
                              "the killed board not answering",
                              STOPPED_SECONDS + MARGIN_SECONDS)
        self.assertLessEqual(time.monotonic() - killed, STOPPED_SECONDS + MARGIN_SECONDS)
        self.assertEqual(venue["inTrouble"], 1)
        self.assertIn("pelm_venue_boards_in_trouble 1", get(server.url + "metrics"))
        listing = subprocess.run([str(PELMCTL), "status", "--venue", str(self.status)],
                                 capture_output=True, text=True)
        self.assertEqual(listing.returncode, 1, listing.stdout)
        self.assertIn(f"{NAME} (", listing.stdout)
        self.assertIn("also claimed by " + forged, listing.stdout)

    def seen_trouble(self, venue):
        """The board's verdict; every look after the kill must show it in
        trouble, the forger's fresh copy notwithstanding."""
        [board] = venue["boards"]
        self.assertTrue(board["trouble"], board)
        return board["verdict"]


if __name__ == "__main__":
    unittest.main(verbosity=2)
