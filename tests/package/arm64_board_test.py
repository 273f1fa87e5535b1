#!/usr/bin/env python3
"""The arm64 package on an arm64 Debian 12, emulated on this machine: the
.deb built by `scripts/package --arch arm64`, installed with apt into a
clean Debian 12 arm64 root (debootstrap, qemu-user-static through
binfmt_misc), the board started there on an Xvfb display of this machine
beside this build's own board, their screens compared, and the emulated
pelmctl asked the same questions as this build's about the same files.

Needs root (chroot, mounts), the network to Debian's archive, and about
half an hour the first time on two cores (the package build, debootstrap,
apt under emulation); the pristine root is kept as a tarball in the build
folder and unpacked afresh for every run.

    tests/package/arm64_board_test.py --build build [--deb PATH] [--keep DIR]

--deb takes a package already built; --keep DIR keeps the two screenshots
(amd64.png, arm64.png) and the timings (timings.json) there, by default
in BUILD/tests/package/arm64.
"""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(REPO / "tests/support"))
from board_harness import Board, JournalOnFailure, wait_for  # noqa: E402

CAPTION = "Tovalen V1.3"
SCREEN = "1280x800"
START_SECONDS = 300  # Qt, fonts and the first refresh, all emulated
# The clock's band of the window (it runs, so it differs between two
# screenshots), right of the large logo and above the previous race's box.
CLOCK_BAND = (232, 0, 900, 133)
# The share of the window's other pixels that may differ: antialiasing at
# glyph edges, nothing that moved.
DIFFERENT_AT_MOST = 0.002


def option(name, default=None):
    if name in sys.argv:
        at = sys.argv.index(name)
        value = sys.argv[at + 1]
        del sys.argv[at:at + 2]
        return value
    return default


BUILD = pathlib.Path(option("--build", REPO / "build")).resolve()
DEB = option("--deb")
KEEP = pathlib.Path(option("--keep", BUILD / "tests/package/arm64"))
TIMINGS = {}


def timed(name, step, *arguments):
    start = time.monotonic()
    result = step(*arguments)
    TIMINGS[name] = round(time.monotonic() - start, 1)
    return result


def run(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))} failed ({result.returncode}):\n"
                           f"{result.stdout[-2000:]}{result.stderr[-2000:]}")
    return result.stdout


def arm64_package():
    if DEB:
        return pathlib.Path(DEB).resolve()
    output = BUILD / "tests/package/deb-arm64"
    return pathlib.Path(run([REPO / "scripts/package", "--arch", "arm64", "--output", output],
                            env=dict(os.environ, DEB_BUILD_OPTIONS="nocheck parallel=2")).strip())


def pristine_root_tarball():
    """Debian 12's minimal arm64 system, made once by debootstrap."""
    tarball = BUILD / "tests/package/arm64-bookworm-root.tar"
    if tarball.exists():
        return tarball
    folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-arm64-debootstrap-"))
    try:
        run(["debootstrap", "--arch=arm64", "--variant=minbase", "bookworm", folder])
        partial = tarball.with_suffix(".partial")
        run(["tar", "-C", folder, "-cf", partial, "."])
        partial.rename(tarball)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return tarball


class Arm64Root:
    """A fresh arm64 root in a scratch folder. Commands run chrooted in a
    mount namespace of their own, so /proc, /dev and the board folders
    bound into it vanish with the command whatever happens; the network
    namespace stays this machine's, so X's abstract socket reaches Xvfb."""

    def __init__(self, tarball, scratch):
        self.path = scratch / "root"
        self.path.mkdir()
        run(["tar", "-C", self.path, "-xf", tarball])
        shutil.copy("/etc/resolv.conf", self.path / "etc/resolv.conf")

    def command(self, command, cwd="/", binds=()):
        """`command` in the root, with each folder of `binds` shown at its
        own path there."""
        for folder in binds:
            (self.path / str(folder).lstrip("/")).mkdir(parents=True, exist_ok=True)
        mounts = ['mount -t proc proc "$ROOT/proc"', 'mount --rbind /dev "$ROOT/dev"']
        mounts += [f'mount --bind "{folder}" "$ROOT{folder}"' for folder in binds]
        inner = f'cd "{cwd}" && exec "$@"'
        script = " && ".join(mounts + [f'exec chroot "$ROOT" /bin/sh -c \'{inner}\' sh "$@"'])
        return ["unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", script, "sh",
                *map(str, command)]

    def environment(self, **extra):
        return dict({"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "ROOT": str(self.path),
                     "HOME": "/root", "LANG": "C.UTF-8"}, **extra)

    def run(self, command, cwd="/", binds=(), **extra):
        return subprocess.run(self.command(command, cwd, binds), env=self.environment(**extra),
                              capture_output=True, text=True)

    def install(self, deb):
        shutil.copy(deb, self.path / "tmp" / deb.name)
        for command in (["apt-get", "update", "-qq"],
                        ["apt-get", "install", "-y", "-qq", f"/tmp/{deb.name}"]):
            result = self.run(command, DEBIAN_FRONTEND="noninteractive")
            if result.returncode != 0:
                raise RuntimeError(f"{' '.join(command)} in the arm64 root failed:\n"
                                   f"{result.stdout[-3000:]}{result.stderr[-3000:]}")


class EmulatedBoard(Board):
    """The installed /usr/bin/PelmDp of the arm64 root, in a board folder of
    this machine bound at the same path, so both boards read equal files
    under equal names."""

    def __init__(self, root, **options):
        super().__init__(BUILD, **options)
        self.root = root
        self.program = "/usr/bin/env"

    def prepare(self):
        self.data.mkdir(parents=True, exist_ok=True)
        result = self.root.run(["pelmctl", "init", self.data], cwd=self.work, binds=[self.work])
        if result.returncode != 0:
            raise RuntimeError(f"emulated pelmctl init: {result.stdout}{result.stderr}")

    def start(self, wait=True):
        runtime = self.work / "runtime"
        runtime.mkdir(mode=0o700, exist_ok=True)
        self.environment.update(self.root.environment(XDG_RUNTIME_DIR=str(runtime),
                                                      LANG="ja_JP.UTF-8"))
        self.arguments = self.root.command(["PelmDp"], cwd=self.work, binds=[self.work])
        super().start(wait=False)


def screenshot_window(board, path):
    """The window's (width, height, rows of RGB bytes); the screen is saved
    as PNG at `path`."""
    board.screenshot(path)
    left, top = board.window_origin(CAPTION)
    width, height, pixels = board.screen_ppm()
    info = board.x("xwininfo", "-id", board.window_id(CAPTION))
    w = int(info.split("Width:")[1].split()[0])
    h = int(info.split("Height:")[1].split()[0])
    rows = [pixels[((top + y) * width + left) * 3:((top + y) * width + left + w) * 3] for y in range(h)]
    return w, h, rows


def different_pixels(first, second):
    """Pixels outside the clock's band that differ, and all compared."""
    (w, h, rows_a), (_, _, rows_b) = first, second
    left, top, right, bottom = CLOCK_BAND
    different = compared = 0
    for y in range(h):
        for x in range(w):
            if left <= x < right and top <= y < bottom:
                continue
            compared += 1
            if rows_a[y][x * 3:x * 3 + 3] != rows_b[y][x * 3:x * 3 + 3]:
                different += 1
    return different, compared


class Arm64BoardTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise RuntimeError("run as root: the arm64 root needs chroot and mounts")
        cls.deb = timed("package_seconds", arm64_package)
        TIMINGS["package_bytes"] = cls.deb.stat().st_size
        tarball = timed("root_seconds", pristine_root_tarball)
        cls.scratch = pathlib.Path(tempfile.mkdtemp(prefix="pelm-arm64-"))
        cls.root = Arm64Root(tarball, cls.scratch)
        timed("apt_install_seconds", cls.root.install, cls.deb)

    @classmethod
    def tearDownClass(cls):
        KEEP.mkdir(parents=True, exist_ok=True)
        (KEEP / "timings.json").write_text(json.dumps(TIMINGS) + "\n")
        print(json.dumps(TIMINGS), file=sys.stderr)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_the_package_says_it_is_for_arm64(self):
        result = self.root.run(["dpkg-query", "-W", "-f=${Architecture} ${Status}", "pelm"])
        self.assertEqual(result.stdout, "arm64 install ok installed", result.stderr)
        result = self.root.run(["dpkg", "--print-architecture"])
        self.assertEqual(result.stdout.strip(), "arm64")

    def test_the_board_shows_what_this_machines_board_shows(self):
        native = Board(BUILD, screen=SCREEN)
        emulated = EmulatedBoard(self.root, screen=SCREEN)
        for board in (native, emulated):
            self.addCleanup(board.remove)
            board.prepare()
        for name in ("RInfo.txt", "RInfomem.txt"):
            shutil.copy(native.data / name, emulated.data / name)
        for board in (native, emulated):
            self.addCleanup(board.stop)
            board.start(wait=False)
        started = time.monotonic()
        try:
            wait_for(lambda: not emulated.alive() or emulated.window_id(CAPTION), START_SECONDS)
        except TimeoutError:
            self.fail(f"no emulated board window in {START_SECONDS} s: {emulated.journal()}")
        self.assertTrue(emulated.alive(), emulated.journal())
        running = os.readlink(f"/proc/{emulated.process.pid}/exe")
        self.assertIn("qemu-aarch64", running, "the board runs emulated, as arm64")
        TIMINGS["emulated_window_seconds"] = round(time.monotonic() - started, 1)
        KEEP.mkdir(parents=True, exist_ok=True)
        self.assertScreensAgree(native, emulated)

    def assertScreensAgree(self, native, emulated):
        """The two windows agree outside the running clock, once the emulated
        board has drawn its rows (it may need some seconds more)."""
        deadline = time.monotonic() + 60
        while True:
            time.sleep(3)
            first = screenshot_window(native, KEEP / "amd64.png")
            second = screenshot_window(emulated, KEEP / "arm64.png")
            self.assertEqual(first[:2], second[:2], "window sizes")
            different, compared = different_pixels(first, second)
            if different <= DIFFERENT_AT_MOST * compared or time.monotonic() > deadline:
                break
        TIMINGS["different_pixels"] = different
        self.assertLessEqual(different, DIFFERENT_AT_MOST * compared,
                             f"{different} of {compared} pixels differ: see {KEEP}")

    def test_pelmctl_answers_as_on_this_machine(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-arm64-files-"))
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        pelmctl = BUILD / "src/pelmctl/pelmctl"
        run([pelmctl, "init", folder / "data"], cwd=folder)
        schedule = (REPO / "tests/data/schedule_ja.txt").read_bytes()
        broken = "25:00:00,10:00:00,時刻ではない\r\n10:50:00\r\n".encode("cp932")
        (folder / "data/RInfo.txt").write_bytes(schedule + broken)
        shutil.copy(REPO / "tests/data/notice_ja.txt", folder / "data/RInfomem.txt")
        for question in (["check"], ["show", "--at", "10:40:00"], ["show", "--at", "11:10:00"],
                         ["show", "--at", "10:40:00", "--json"], ["settings", "--json"]):
            with self.subTest(question=" ".join(question)):
                here = subprocess.run([pelmctl, *question], cwd=folder, capture_output=True,
                                      text=True, env=dict(os.environ, LANG="C.UTF-8"))
                there = self.root.run(["pelmctl", *question], cwd=folder, binds=[folder])
                self.assertEqual((there.returncode, there.stdout, there.stderr),
                                 (here.returncode, here.stdout, here.stderr))


if __name__ == "__main__":
    unittest.main(testRunner=unittest.TextTestRunner(resultclass=JournalOnFailure, verbosity=2))
