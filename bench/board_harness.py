"""Runs the real board under a virtual display and watches it from outside.

Shared by bench/soak and bench/idle: prepares a working folder with
`pelmctl init` and a demo day, starts Xvfb and PelmDp, and samples the
board's memory (PSS), CPU time and refreshes (opens of RInfo.txt, seen
through inotify) while the caller does its work.
"""

import ctypes
import ctypes.util
import importlib.util
import os
import pathlib
import shutil
import signal
import struct
import subprocess
import tempfile
import time

REPO = pathlib.Path(__file__).resolve().parent.parent
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def load_demo_day():
    location = importlib.util.spec_from_file_location("make_day", REPO / "demo" / "make-day.py")
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


class OpenCounter:
    """Counts opens of one file name in a folder (inotify IN_OPEN)."""

    IN_OPEN = 0x20

    def __init__(self, folder, name):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        self.libc.inotify_add_watch(self.fd, str(folder).encode(), self.IN_OPEN)
        self.name = name.encode()
        self.count = 0

    def poll(self):
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return self.count
            offset = 0
            while offset < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16: offset + 16 + length].rstrip(b"\0")
                if name == self.name:
                    self.count += 1
                offset += 16 + length

    def close(self):
        os.close(self.fd)


class Board:
    """A PelmDp process in its own working folder on its own X display."""

    def __init__(self, build, races=None, work=None, arguments=(), screen="1280x800"):
        self.build = pathlib.Path(build).resolve()
        self.work = pathlib.Path(work or tempfile.mkdtemp(prefix="pelm-bench-"))
        self.data = self.work / "data"
        self.demo = load_demo_day()
        self.races = races
        self.xvfb = None
        self.process = None
        self.display = None
        self.arguments = list(arguments)
        self.screen = screen
        self.program = "src/app/PelmDp"
        self.title = "Tovalen V1.3"

    # --- set-up -----------------------------------------------------------
    def prepare(self):
        subprocess.run([str(self.build / "src/app/pelmctl"), "init", str(self.data)],
                       cwd=self.work, check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["python3", str(REPO / "demo/make-day.py"), str(self.data)],
                       check=True, stdout=subprocess.DEVNULL)

    def start(self):
        self.display = free_display()
        self.xvfb = subprocess.Popen(["Xvfb", f":{self.display}", "-screen", "0", f"{self.screen}x24",
                                      "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        wait_for(lambda: pathlib.Path(f"/tmp/.X11-unix/X{self.display}").exists(), 10)
        env = dict(os.environ, DISPLAY=f":{self.display}", LANG="ja_JP.UTF-8",
                   QT_QPA_PLATFORM="xcb")
        self.stderr = open(self.work / "PelmDp.stderr", "wb")
        self.process = subprocess.Popen([str(self.build / self.program)] + self.arguments, cwd=self.work,
                                        env=env, stdout=self.stderr, stderr=self.stderr)
        wait_for(lambda: self.window_id(self.title) is not None, 20)

    # --- watching ----------------------------------------------------------
    def alive(self):
        return self.process is not None and self.process.poll() is None

    def cpu_seconds(self):
        fields = pathlib.Path(f"/proc/{self.process.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS

    def pss_kib(self, kind="Pss"):
        """Proportional set size in KiB; kind "Pss_Anon" for private memory only."""
        for line in pathlib.Path(f"/proc/{self.process.pid}/smaps_rollup").read_text().splitlines():
            if line.startswith(kind + ":"):
                return int(line.split()[1])
        return 0

    def x(self, *command):
        env = dict(os.environ, DISPLAY=f":{self.display}")
        return subprocess.run(list(command), env=env, capture_output=True, text=True).stdout

    def window_id(self, title):
        for line in self.x("xwininfo", "-root", "-tree").splitlines():
            if f'"{title}"' in line:
                return line.split()[0]
        return None

    def window_ids(self, title):
        return {line.split()[0] for line in self.x("xwininfo", "-root", "-tree").splitlines()
                if f'"{title}"' in line}

    def window_origin(self, title):
        info = self.x("xwininfo", "-id", self.window_id(title))
        x = int(info.split("Absolute upper-left X:")[1].split()[0])
        y = int(info.split("Absolute upper-left Y:")[1].split()[0])
        return x, y

    def screenshot(self, path):
        self.x("import", "-window", "root", str(path))
        return path

    # --- tear-down ---------------------------------------------------------
    def stop(self):
        """Closes the board as a kiosk shutdown does; returns its exit status."""
        status = None
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
            try:
                status = self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                status = "hung"
        elif self.process is not None:
            status = self.process.returncode
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(10)
        return status

    def remove(self):
        shutil.rmtree(self.work, ignore_errors=True)


def free_display():
    for number in range(90, 200):
        if not pathlib.Path(f"/tmp/.X11-unix/X{number}").exists() and \
                not pathlib.Path(f"/tmp/.X{number}-lock").exists():
            return number
    raise RuntimeError("no free X display number")


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    raise TimeoutError("the board did not come up")


def read_ppm(path):
    """(width, height, pixel bytes) of a binary PPM."""
    data = pathlib.Path(path).read_bytes()
    parts = data.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    return width, height, parts[4][-width * height * 3:]
