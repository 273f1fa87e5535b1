#!/usr/bin/env python3
"""The board in a Wayland kiosk: `cage -- PelmDp --fullscreen` on cage's
headless output, screenshots by grim. The board picks Wayland itself (no
QT_QPA_PLATFORM), runs natively rather than through XWayland, covers the
output, and its frames have no title bar: cage maximizes a window instead
of full-screening it, which would leave Qt's own decoration on top.

cage refuses to run as root, so as root the kiosk runs as an unprivileged
user of its own (made here when missing), in a private runtime folder.

    tests/board/wayland_kiosk_test.py --build build [unittest arguments]
"""

import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import BUILD, REPO, RECOVERY_SECONDS, main, wait_until  # noqa: E402
from board_watch import await_start, process_state, said_anything  # noqa: E402
from system_user import system_user  # noqa: E402

KIOSK_USER = "pelm-kiosk"


def kiosk_user():
    """(uid, gid) to run the kiosk as: this user unless it is root."""
    if os.getuid() != 0:
        return os.getuid(), os.getgid()
    return system_user(KIOSK_USER)


def read_ppm(path):
    """(width, height, RGB bytes) of a binary PPM as grim writes it."""
    data = pathlib.Path(path).read_bytes()
    magic, width, height, _, pixels = data.split(maxsplit=4)
    assert magic == b"P6"
    width, height = int(width), int(height)
    return width, height, pixels[-width * height * 3:]


class WaylandKiosk(unittest.TestCase):
    def setUp(self):
        self.uid, self.gid = kiosk_user()
        # The kiosk user reaches the build through the folders above it.
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="pelm-kiosk-"))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.runtime = self.work / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.board = self.work / "board"
        self.board.mkdir()
        subprocess.run([str(BUILD / "src/pelmctl/pelmctl"), "init", str(self.board / "data")],
                       cwd=self.board, check=True, stdout=subprocess.DEVNULL)
        subprocess.run([sys.executable, str(REPO / "demo/make-day.py"), str(self.board / "data")],
                       check=True, stdout=subprocess.DEVNULL)
        for folder, _, files in os.walk(self.work):
            for name in [folder] + [os.path.join(folder, file) for file in files]:
                os.chown(name, self.uid, self.gid)
        os.chmod(self.work, 0o755)
        self.journal = self.board / "PelmDp.stderr"

    def as_kiosk(self):
        def drop():
            os.setgid(self.gid)
            os.setgroups([])
            os.setuid(self.uid)
        return drop if os.getuid() == 0 else None

    def environment(self, **more):
        return {"PATH": "/usr/bin:/bin", "HOME": str(self.work), "LANG": "ja_JP.UTF-8",
                "XDG_RUNTIME_DIR": str(self.runtime), **more}

    def start_kiosk(self):
        # The board's Wayland requests go into its journal: they show the
        # size the compositor gave the window and the buffers drawn for it.
        # The output is turned (-r): cage hands a window that alone covers an
        # unturned output to it as is, and a screen copy then shows the last
        # frame cage composed itself, not the board.
        board = (f"cd '{self.board}' && WAYLAND_DEBUG=client exec '{BUILD / 'src/board/PelmDp'}' "
                 f"--fullscreen 2>'{self.journal}'")
        self.cage_log = open(self.work / "cage.log", "wb")
        self.addCleanup(self.cage_log.close)
        self.cage = subprocess.Popen(
            ["cage", "-r", "--", "sh", "-c", board], preexec_fn=self.as_kiosk(),
            start_new_session=True,
            env=self.environment(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1"),
            stdout=self.cage_log, stderr=subprocess.STDOUT)
        self.addCleanup(self.stop_kiosk)

    def stop_kiosk(self):
        pid = self.board_pid()
        if pid and self.cage.poll() is None:
            os.kill(pid, signal.SIGTERM)  # the board ends, and cage with it
        try:
            self.cage.wait(RECOVERY_SECONDS)
        except subprocess.TimeoutExpired:
            os.killpg(self.cage.pid, signal.SIGKILL)
            self.cage.wait()

    def journal_text(self):
        try:
            return self.journal.read_bytes().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def board_pid(self):
        found = re.search(r"<6>board \S+ in .*, pid (\d+)", self.journal_text())
        return int(found.group(1)) if found else None

    def await_start(self):
        """Waits while cage and the board start: until the board says
        something; at once when cage ends first."""
        await_start(lambda: said_anything(self.journal_text().splitlines()),
                    lambda: self.cage.poll() is not None, self.start_report,
                    "the board under cage")

    def start_report(self):
        pid = self.board_pid()
        board = process_state(pid) if pid else "not started by cage, or not yet said its pid"
        return (f"cage (pid {self.cage.pid}): {process_state(self.cage.pid, self.cage.poll())}\n"
                f"the board: {board}\n"
                f"cage's whole output:\n{self.cage_output()}\n"
                f"the board's whole journal (with its Wayland requests):\n{self.journal_text()}")

    def cage_output(self):
        return (self.work / "cage.log").read_text(errors="replace")

    def wait_for(self, condition, what):
        """Waits for `condition`, RECOVERY_SECONDS from the end of the start-up."""
        self.await_start()
        try:
            return wait_until(condition, RECOVERY_SECONDS, what, poll=0.1)
        except AssertionError as failure:
            tail = [line for line in self.journal_text().splitlines() if line.startswith("<")]
            cage = self.cage_output()[-1500:]
            raise AssertionError(f"{failure}\njournal:\n" + "\n".join(tail[-15:]) +
                                 f"\ncage:\n{cage}") from None

    def screenshot(self):
        shot = self.work / "output.ppm"
        subprocess.run(["grim", "-t", "ppm", str(shot)], preexec_fn=self.as_kiosk(), check=True,
                       env=self.environment(WAYLAND_DISPLAY="wayland-0"))
        return read_ppm(shot)

    def test_full_screen_board_runs_natively_covers_the_output_without_a_title_bar(self):
        self.start_kiosk()
        self.wait_for(lambda: "<6>connected, running" in self.journal_text(),
                      "the board running under cage")
        journal = self.journal_text()
        self.assertIn("<6>full screen on wayland,", journal)  # Qt's Wayland platform, no XWayland

        # The compositor's size for the window, a buffer drawn at it, and two
        # frames more, so the output shows the board as it stays.
        def drawn_at_size():
            journal = self.journal_text()
            sizes = [size for size in re.findall(
                r"xdg_toplevel@\d+\.configure\((\d+), (\d+),", journal) if size != ("0", "0")]
            buffers = list(re.finditer(
                r"create_buffer\(new id wl_buffer@\d+, \d+, (\d+), (\d+),", journal))
            if not sizes or not buffers or sizes[-1] != buffers[-1].groups():
                return None
            later = re.findall(r"wl_surface@\d+\.commit\(\)", journal[buffers[-1].end():])
            return len(later) >= 3 and sizes[-1]
        size = self.wait_for(drawn_at_size, "frames at the size the compositor gave")
        width, height, pixels = self.screenshot()
        self.assertEqual(size, (str(width), str(height)))

        def pixel(x, y):
            return pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]
        # The board is on the output: its blue clock shows.
        clock_blue = sum(1 for y in range(height) for x in range(width)
                         if pixel(x, y)[2] > 200 and pixel(x, y)[0] < 120)
        self.assertGreater(clock_blue, 1000, "the board's clock on the output")
        # A decoration bar is light grey across the window's top, which is
        # the output's top; the board leaves black there (it is centred).
        band = 30
        light = sum(1 for y in range(band) for x in range(width) if min(pixel(x, y)) > 200)
        self.assertLess(light, width * band // 2, "a light bar across the top of the output")

if __name__ == "__main__":
    main()
