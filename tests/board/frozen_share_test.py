#!/usr/bin/env python3
"""A share that stops answering: a board started on it shows the
not-connected text and runs once the share answers again, a race table on
a share of its own freezing does the same to a running board, and a SIGTERM
while the data folder is frozen saves the settings and ends the board.
Nothing of ours waits in a frozen share: a board whose status folder or
data folder is frozen is gone at once after a SIGTERM, lock and window
with it, `pelmctl status --venue` ends in time, and the helper left
waiting in the share ends once it answers.

The share is a small FUSE file system in this file: a passthrough to a
backing folder whose every call waits while a flag file (outside the mount)
exists. With interrupts honoured, a call whose caller is killed gives up, as
a kernel network file system's killable wait does; with interrupts ignored,
it waits on as a FUSE daemon that has taken the request does, and so does
the caller, whatever signal it gets.

    tests/board/frozen_share_test.py --build build [unittest arguments]
"""

import errno
import fcntl
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve()
# Debian's python3-fusepy installs beside the system interpreter only.
DEBIAN_PYTHON = "/usr/lib/python3/dist-packages"


def serve(backing, mount, flag, interrupts):
    """Runs the file system in the foreground until it is unmounted."""
    if DEBIAN_PYTHON not in sys.path:
        sys.path.append(DEBIAN_PYTHON)
    import fusepy
    from fusepy import FUSE, FuseOSError, Operations

    class FreezableShare(Operations):
        use_ns = True

        def __call__(self, operation, path, *arguments):
            while operation != "destroy" and os.path.exists(flag):
                if interrupts == "honoured" and fusepy._libfuse.fuse_interrupted():
                    raise FuseOSError(errno.EINTR)
                time.sleep(0.02)
            try:
                return getattr(self, operation)(os.path.join(backing, path.lstrip("/")),
                                                *arguments)
            except OSError as error:
                raise FuseOSError(error.errno or errno.EIO) from None

        def access(self, path, mode):
            if not os.access(path, mode):
                raise FuseOSError(errno.EACCES)

        def getattr(self, path, fh=None):
            st = os.lstat(path)
            attributes = {key: getattr(st, key) for key in (
                "st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_ino")}
            return attributes | {"st_atime": st.st_atime_ns, "st_mtime": st.st_mtime_ns,
                                 "st_ctime": st.st_ctime_ns}

        def readdir(self, path, fh):
            return [".", ".."] + os.listdir(path)

        def statfs(self, path):
            st = os.statvfs(path)
            return {key: getattr(st, key) for key in (
                "f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree",
                "f_files", "f_flag", "f_frsize", "f_namemax")}

        def chmod(self, path, mode):
            os.chmod(path, mode)

        def chown(self, path, uid, gid):
            os.chown(path, uid, gid)

        def utimens(self, path, times=None):
            if times:
                os.utime(path, ns=times)
            else:
                os.utime(path)

        def readlink(self, path):
            return os.readlink(path)

        def mkdir(self, path, mode):
            os.mkdir(path, mode)

        def rmdir(self, path):
            os.rmdir(path)

        def unlink(self, path):
            os.unlink(path)

        def rename(self, old, new):
            os.rename(old, os.path.join(backing, new.lstrip("/")))

        def symlink(self, name, target):
            os.symlink(target, name)

        def create(self, path, mode, fi=None):
            return os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

        def open(self, path, flags):
            return os.open(path, flags)

        def read(self, path, size, offset, fh):
            return os.pread(fh, size, offset)

        def write(self, path, data, offset, fh):
            return os.pwrite(fh, data, offset)

        def truncate(self, path, length, fh=None):
            os.truncate(path, length)

        def flush(self, path, fh):
            return 0

        def fsync(self, path, datasync, fh):
            os.fsync(fh)

        def release(self, path, fh):
            os.close(fh)

    FUSE(FreezableShare(), mount, foreground=True)


if __name__ == "__main__" and sys.argv[1:2] == ["--serve"]:
    serve(*sys.argv[2:6])
    sys.exit(0)

sys.path.insert(0, str(HERE.parent))
from board_case import BUILD, CAPTION, BoardCase, main  # noqa: E402
from board_watch import await_start  # noqa: E402

# The board's own bound is 2 s (a look at each folder of at most 1 s); the
# rest is room for a loaded test machine.
FROZEN_EXIT_SECONDS = 4
# With nothing of ours waiting in the share, a board is gone this soon after
# a SIGTERM, and `pelmctl status --venue` within what a monitoring script
# waits; the helper left waiting in the share ends this soon once it answers.
GONE_SECONDS = 2
VENUE_STATUS_SECONDS = 3
HELPER_END_SECONDS = 10


class Share:
    """The frozen-share file system mounted on a folder of its own;
    `interrupts` "honoured" or "ignored"."""

    def __init__(self, interrupts="honoured"):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="pelm-share-"))
        self.backing, self.mount = self.root / "backing", self.root / "mount"
        self.flag = self.root / "frozen"
        self.backing.mkdir()
        self.mount.mkdir()
        self.log = open(self.root / "share.log", "wb")
        self.server = subprocess.Popen(
            [sys.executable, str(HERE), "--serve", str(self.backing), str(self.mount),
             str(self.flag), interrupts], stdout=self.log, stderr=self.log)
        await_start(lambda: os.path.ismount(self.mount), lambda: self.server.poll() is not None,
                    lambda: "its log:\n" + (self.root / "share.log").read_text(errors="replace"),
                    "the FUSE share")

    def freeze(self):
        self.flag.touch()

    def thaw(self):
        self.flag.unlink(missing_ok=True)

    def remove(self):
        """Thaws first, so nothing stays waiting on the share, then unmounts."""
        self.thaw()
        if os.path.ismount(self.mount):
            if subprocess.run(["fusermount3", "-u", str(self.mount)],
                              stderr=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["umount", "-l", str(self.mount)], check=False)
        try:
            self.server.wait(10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()
        self.log.close()
        shutil.rmtree(self.root, ignore_errors=True)


class FrozenShareTest(BoardCase):

    def setUp(self):
        self.share = Share()
        self.addCleanup(self.share.remove)

    def start_on_share(self, frozen=False, **options):
        self.start_board(before_start=(lambda board: self.share.freeze()) if frozen else None,
                         data=self.share.mount, **options)
        self.addCleanup(self.share.thaw)  # before the board stops

    def test_a_board_started_on_a_frozen_share_shows_not_connected_and_runs_once_it_answers(self):
        self.start_on_share(frozen=True)  # the race table is on the share too
        self.wait_for_journal("が応答しません", 3)
        self.assertIn(str(self.share.mount), self.status()["error"])
        self.assertNotEqual(self.status()["verdict"], "fine")
        frozen_clock = self.settled_clock_band()
        self.share.thaw()
        self.wait_for_rows()
        self.assertEqual(self.status()["verdict"], "fine")
        self.assert_clock_ticks()
        # Frozen under a running board, the clock says the same as at the start.
        self.share.freeze()
        self.wait_for_state("not connected")
        self.wait(lambda: self.clock_band() == frozen_clock, "the not-connected text at the start")

    def test_a_race_table_on_a_share_of_its_own_freezing_shows_not_connected(self):
        self.start_board(table_dir=self.share.mount)  # the schedule stays local
        self.addCleanup(self.share.thaw)
        self.wait_for_rows()
        self.share.freeze()
        self.wait_for_state("not connected")
        self.wait_for_refreshes(2)  # the window's thread is not held by the table
        self.share.thaw()
        self.wait_for_state("running")
        self.assertEqual(self.status()["verdict"], "fine")
        self.assertEqual(self.terminate(), 0)

    def sigterm_while_frozen(self):
        """SIGTERM with the share frozen under a running board: the exit status
        and the seconds it took, the settings saved by then."""
        self.wait_for_rows()
        self.share.freeze()
        self.wait_for_state("not connected")
        ini = self.board.work / "PelmDp.ini"
        ini.write_bytes(b"[Env]\r\n")  # the save at close puts the board's keys back
        began = time.monotonic()
        status = self.terminate()
        took = time.monotonic() - began
        print(f"\nSIGTERM to exit on a frozen share: {took:.3f} s", file=sys.stderr)
        self.assertIn(f"DataDir={self.share.mount}".encode(), ini.read_bytes())
        self.assertEqual(self.watch.journal()[-1], "<6>stopped")
        return status, took

    def test_sigterm_on_a_frozen_share_saves_the_settings_and_ends_the_board(self):
        self.start_on_share()  # the race table on the share too, open as the board ends
        status, took = self.sigterm_while_frozen()
        self.assertEqual(status, 0)
        self.assertLess(took, FROZEN_EXIT_SECONDS)

    def test_sigterm_on_a_frozen_share_with_a_local_table_ends_the_board(self):
        table = tempfile.mkdtemp(prefix="pelm-table-")
        self.addCleanup(shutil.rmtree, table, ignore_errors=True)
        self.start_on_share(table_dir=table)
        status, took = self.sigterm_while_frozen()
        self.assertEqual(status, 0)
        self.assertLess(took, FROZEN_EXIT_SECONDS)


def processes_in(folder):
    """The pids of live processes working in `folder`: a board, or the
    helpers it left waiting in a share (a zombie has ended)."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if (entry.name.isdigit() and os.readlink(entry / "cwd") == str(folder)
                    and (entry / "stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"):
                found.append(int(entry.name))
        except OSError:
            continue  # ended meanwhile, or not ours to look at
    return found


class EndsPastAFrozenShare:
    """A share frozen under a program of ours, interrupts `interrupts`: the
    program ends in time, and what it left waiting in the share ends once
    the share answers."""

    interrupts = None

    def setUp(self):
        self.share = Share(self.interrupts)
        self.addCleanup(self.share.remove)

    def sigterm_with_the_share_frozen(self):
        """Seconds from a SIGTERM to the board's end, the share frozen under
        its running board long enough for a call on it to hang."""
        self.addCleanup(self.share.thaw)  # before the board stops
        self.wait_for_rows()
        self.share.freeze()
        time.sleep(1.5)
        began = time.monotonic()
        self.board.process.send_signal(signal.SIGTERM)
        try:
            self.board.process.wait(HELPER_END_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail(f"the board did not end within {HELPER_END_SECONDS} s of SIGTERM")
        took = time.monotonic() - began
        print(f"\nSIGTERM to the board's end, interrupts {self.interrupts}: {took:.3f} s",
              file=sys.stderr)
        return took

    def assert_gone_and_free(self, took):
        self.assertLess(took, GONE_SECONDS)
        self.assertFalse(self.board.window_ids(CAPTION), "its window is gone")
        with open(self.board.table_folder() / "pelm-board.lock", "rb+") as lock:
            fcntl.lockf(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)  # another board could take it
        self.assert_helper_ends_once_the_share_answers(self.board.work)

    def assert_helper_ends_once_the_share_answers(self, folder, waiting=1):
        if self.interrupts == "ignored":
            self.assertEqual(len(processes_in(folder)), waiting, "left waiting in the share")
        self.share.thaw()
        self.wait(lambda: not processes_in(folder), "the helper to end once the share answers",
                  HELPER_END_SECONDS)

    def test_a_board_with_its_status_folder_frozen_is_gone_at_once(self):
        self.start_board(status_dir=self.share.mount)
        self.assert_gone_and_free(self.sigterm_with_the_share_frozen())

    def test_a_board_with_its_data_folder_frozen_is_gone_at_once(self):
        table = pathlib.Path(tempfile.mkdtemp(prefix="pelm-table-"))
        self.addCleanup(shutil.rmtree, table, ignore_errors=True)
        self.start_board(data=self.share.mount, table_dir=table)
        self.assert_gone_and_free(self.sigterm_with_the_share_frozen())

    def test_a_board_with_its_race_table_frozen_is_gone_at_once(self):
        # Left waiting in the share: the folder's helper, and the table's own
        # files and lock in the process that holds them past the board's
        # end; nothing else of the board's, the window least of all.
        self.start_board(table_dir=self.share.mount)
        took = self.sigterm_with_the_share_frozen()
        self.assertLess(took, GONE_SECONDS)
        self.assertFalse(self.board.window_ids(CAPTION), "its window is gone")
        self.assert_helper_ends_once_the_share_answers(self.board.work, waiting=2)

    def test_pelmctl_status_venue_on_a_frozen_share_ends_in_time(self):
        (self.share.mount / "kiosk-1.json").write_text("{}")
        work = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-"))
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        self.share.freeze()
        self.addCleanup(self.share.thaw)
        began = time.monotonic()
        pelmctl = subprocess.Popen([str(BUILD.resolve() / "src/pelmctl/pelmctl"), "status", "--venue",
                                    str(self.share.mount)], cwd=work, stdout=subprocess.PIPE,
                                   text=True)
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
        self.assertIn("does not answer", printed)
        self.assertEqual(pelmctl.returncode, 1)
        self.assert_helper_ends_once_the_share_answers(work)


class EndsPastAShareIgnoringInterruptsTest(EndsPastAFrozenShare, BoardCase):
    interrupts = "ignored"


class EndsPastAShareHonouringInterruptsTest(EndsPastAFrozenShare, BoardCase):
    interrupts = "honoured"


if __name__ == "__main__":
    main()
