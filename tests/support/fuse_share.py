"""A share in a test's hands: a small FUSE file system that passes every
call through to a backing folder, and that the test slows, freezes or
breaks while it runs, through files beside the mount:

- `frozen`: while it exists, every call waits (only the operations listed
  in it, one per line, when it lists any: "read" freezes a file between
  its open and its read);
- `delay`: milliseconds every call first waits, as a slow link or a loaded
  NAS answers;
- `failing`: the percentage of calls that fail with EIO, as a flaky share;
- `vanishing`: names, one per line, whose next open fails with ENOENT, as
  a server does for an open that races a writer's rename over the file.

With interrupts honoured, a call whose caller is killed gives up, as a
kernel network file system's killable wait does; with interrupts ignored,
it waits on as a FUSE daemon that has taken the request does, and so does
the caller, whatever signal it gets.

    share = Share(); share.freeze(); ...; share.remove()
"""

import errno
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve()
sys.path.insert(0, str(HERE.parent))
from board_watch import await_start  # noqa: E402

# Debian's python3-fusepy installs beside the system interpreter only.
DEBIAN_PYTHON = "/usr/lib/python3/dist-packages"


class Controls:
    """What the test asks of the share now, read at every call."""

    def __init__(self, root):
        self.frozen = os.path.join(root, "frozen")
        self.delay = os.path.join(root, "delay")
        self.failing = os.path.join(root, "failing")
        self.vanishing = os.path.join(root, "vanishing")

    @staticmethod
    def number(path):
        try:
            with open(path) as text:
                return float(text.read() or 0)
        except (OSError, ValueError):
            return 0.0

    @staticmethod
    def words(path):
        """The words of a control file, or None when there is none."""
        try:
            with open(path) as text:
                return text.read().split()
        except OSError:
            return None

    def vanishes(self, path):
        """Whether this open of `path` fails, once for each time listed."""
        listed = self.words(self.vanishing) or []
        name = os.path.basename(path)
        if name not in listed:
            return False
        listed.remove(name)
        with open(self.vanishing, "w") as text:
            text.write("\n".join(listed))
        return True

    def frozen_for(self, operation):
        listed = self.words(self.frozen)
        return listed is not None and (not listed or operation in listed)


def serve(backing, mount, root, interrupts):
    """Runs the file system in the foreground until it is unmounted."""
    if DEBIAN_PYTHON not in sys.path:
        sys.path.append(DEBIAN_PYTHON)
    import fusepy
    from fusepy import FUSE, FuseOSError, Operations

    controls = Controls(root)

    class TestShare(Operations):
        use_ns = True

        def __call__(self, operation, path, *arguments):
            if operation in ("init", "destroy"):
                return getattr(self, operation)(path, *arguments)
            while controls.frozen_for(operation):
                if interrupts == "honoured" and fusepy._libfuse.fuse_interrupted():
                    raise FuseOSError(errno.EINTR)
                time.sleep(0.02)
            time.sleep(controls.number(controls.delay) / 1000)
            if random.uniform(0, 100) < controls.number(controls.failing):
                raise FuseOSError(errno.EIO)
            if operation == "open" and controls.vanishes(path):
                raise FuseOSError(errno.ENOENT)
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

    FUSE(TestShare(), mount, foreground=True, allow_other=True)


if __name__ == "__main__" and sys.argv[1:2] == ["--serve"]:
    serve(*sys.argv[2:6])
    sys.exit(0)


class Share:
    """The test share mounted on a folder of its own; `interrupts`
    "honoured" or "ignored". `mount` is the share, `backing` what it
    shows."""

    def __init__(self, interrupts="honoured"):
        self.root = pathlib.Path(tempfile.mkdtemp(prefix="pelm-share-"))
        os.chmod(self.root, 0o755)  # other users' boards reach the mount
        self.backing, self.mount = self.root / "backing", self.root / "mount"
        self.controls = Controls(str(self.root))
        self.backing.mkdir()
        self.mount.mkdir()
        self.log = open(self.root / "share.log", "wb")
        self.server = subprocess.Popen(
            [sys.executable, str(HERE), "--serve", str(self.backing), str(self.mount),
             str(self.root), interrupts], stdout=self.log, stderr=self.log)
        await_start(lambda: os.path.ismount(self.mount), lambda: self.server.poll() is not None,
                    lambda: "its log:\n" + (self.root / "share.log").read_text(errors="replace"),
                    "the FUSE share")

    def freeze(self, *operations):
        """Every call waits from now, or only the `operations` named."""
        pathlib.Path(self.controls.frozen).write_text("\n".join(operations))

    def thaw(self):
        pathlib.Path(self.controls.frozen).unlink(missing_ok=True)

    def slow(self, milliseconds):
        """Every call first waits `milliseconds` (0: none)."""
        pathlib.Path(self.controls.delay).write_text(str(milliseconds))

    def fail(self, percent):
        """`percent` of the calls fail with EIO (0: none)."""
        pathlib.Path(self.controls.failing).write_text(str(percent))

    def vanish_once(self, name):
        """The next open of `name` fails with ENOENT, the file still there."""
        pathlib.Path(self.controls.vanishing).write_text(name)

    def vanished(self):
        """Whether every open asked to fail has failed."""
        return not pathlib.Path(self.controls.vanishing).read_text().split()

    def remove(self):
        """Thaws and mends first, so nothing stays waiting on the share,
        then unmounts."""
        self.thaw()
        self.slow(0)
        self.fail(0)
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
