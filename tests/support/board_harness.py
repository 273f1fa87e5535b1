"""Runs the real board under a virtual display and watches it from outside.

Shared by bench/soak and bench/idle: prepares a working folder with
`pelmctl init` and a demo day, starts Xvfb and PelmDp, and samples the
board's memory (PSS), CPU time and refreshes (opens of RInfo.txt, seen
through inotify) while the caller does its work. Memory and CPU are the
board's and its helper processes' together.
"""

import ctypes
import ctypes.util
import importlib.util
import datetime
import json
import os
import pathlib
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from board_watch import await_start, process_state, said_anything

REPO = pathlib.Path(__file__).resolve().parents[2]
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
# libdbus's address for "no bus": refused at once, nothing launched.
NO_SESSION_BUS = "disabled:"


def build_folder():
    """Takes `--build DIR` off the command line, leaving unittest the rest."""
    if "--build" in sys.argv:
        at = sys.argv.index("--build")
        folder = sys.argv[at + 1]
        del sys.argv[at:at + 2]
        return pathlib.Path(folder)
    return REPO / "build"


def load_demo_day():
    location = importlib.util.spec_from_file_location("make_day", REPO / "demo" / "make-day.py")
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


class OpenCounter:
    """Counts opens of one file name in a folder (inotify IN_OPEN), or other
    events with `mask`; `times` keeps when each was seen (monotonic)."""

    IN_OPEN = 0x20
    IN_MODIFY = 0x02

    def __init__(self, folder, name, mask=IN_OPEN):
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        self.libc.inotify_add_watch(self.fd, str(folder).encode(), mask)
        self.name = name.encode()
        self.count = 0
        self.times = []

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
                    self.times.append(time.monotonic())
                offset += 16 + length

    def close(self):
        os.close(self.fd)


class VirtualScreen:
    """One Xvfb display that several boards may share."""

    def __init__(self, screen="1280x800"):
        self.process, self.display = start_xvfb(screen)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Board:
    """A PelmDp process in its own working folder on its own X display, or
    on a shared one (`screen` a VirtualScreen).

    `data` is the data folder (default: WORK/data, filled with a demo day);
    a board of several on one shared folder passes it, with `table_dir` for a
    race table of its own and `status_dir` for the venue's status copies."""

    started = []  # every board of this process, in the order started

    def __init__(self, build, races=None, work=None, arguments=(), screen="1280x800",
                 data=None, table_dir=None, status_dir=None, environment=None, user=None,
                 limits=None):
        self.build = pathlib.Path(build).resolve()
        self.work = pathlib.Path(work or tempfile.mkdtemp(prefix="pelm-bench-")).resolve()
        self.work.mkdir(parents=True, exist_ok=True)
        self.data = pathlib.Path(data) if data else self.work / "data"
        self.demo_day = data is None
        self.table_dir = pathlib.Path(table_dir) if table_dir else None
        self.status_dir = status_dir
        self.environment = dict(environment or {})
        self.demo = load_demo_day()
        self.races = races
        self.xvfb = None
        self.process = None
        self.display = None
        self.arguments = list(arguments)
        self.screen = screen
        self.program = "src/board/PelmDp"
        self.user = user  # (uid, gid) to run as; None: this user
        self.limits = dict(limits or {})  # resource.RLIMIT_*: soft and hard limit
        self.title = "Tovalen V1.3"
        self.preexec = None  # run in the board's process before it starts (another user's)

    # --- set-up -----------------------------------------------------------
    def prepare(self):
        init = [str(self.build / "src/pelmctl/pelmctl"), "init", str(self.data)]
        if self.table_dir:
            init += ["--table-dir", str(self.table_dir)]
        subprocess.run(init, cwd=self.work, check=True, stdout=subprocess.DEVNULL)
        if self.status_dir:
            with open(self.work / "PelmDp.ini", "ab") as settings:
                settings.write(f"StatusDir={self.status_dir}\r\n".encode())
        if self.demo_day:
            subprocess.run(["python3", str(REPO / "demo/make-day.py"), str(self.data)],
                           check=True, stdout=subprocess.DEVNULL)

    def table_folder(self):
        return self.table_dir or self.data

    def start(self, wait=True):
        if isinstance(self.screen, VirtualScreen):
            self.display = self.screen.display
        else:
            self.xvfb = VirtualScreen(self.screen)
            self.display = self.xvfb.display
        # No session bus unless the caller brings one: what the machine's
        # desktop-bus plumbing happens to be must not change the board.
        env = dict(os.environ, DISPLAY=f":{self.display}", LANG="ja_JP.UTF-8",
                   QT_QPA_PLATFORM="xcb", DBUS_SESSION_BUS_ADDRESS=NO_SESSION_BUS)
        env.update(self.environment)  # a value None takes the name out
        env = {name: value for name, value in env.items() if value is not None}
        before = self.window_ids(self.title)
        self.stderr = open(self.work / "PelmDp.stderr", "wb")
        Board.started.append(self)
        self.process = subprocess.Popen([str(self.build / self.program)] + self.arguments, cwd=self.work,
                                        env=env, stdout=self.stderr, stderr=self.stderr,
                                        preexec_fn=self.as_its_user)
        if not wait:
            return
        self.await_start(lambda: self.window_ids(self.title) - before)
        try:
            wait_for(lambda: not self.alive() or self.window_ids(self.title) - before, 30)
        except TimeoutError:
            raise TimeoutError(f"no board window on :{self.display}: {self.journal()}") from None
        if not self.alive():
            raise RuntimeError(f"the board ended at start with status "
                               f"{self.process.returncode}: {self.journal()}")

    def await_start(self, shown=lambda: False):
        """Waits while the board is still starting (alive, nothing said);
        at once when it has said something, or `shown()` is true (a
        program of the harness's that says nothing, such as the benches'
        clock floor). A board that ends first fails with its state and
        whole journal."""
        return await_start(lambda: said_anything(self.journal().splitlines()) or shown(),
                           lambda: not self.alive(), self.start_report,
                           f"the board in {self.work}")

    def start_report(self):
        return (f"the board (pid {self.process.pid}): "
                f"{process_state(self.process.pid, self.process.poll())}\n"
                f"its whole journal:\n{self.journal()}")

    def as_its_user(self):
        """In the board's process before it starts: its limits, its user."""
        for limit, value in self.limits.items():
            resource.setrlimit(limit, (value, value))
        if self.user:
            os.setgid(self.user[1])
            os.setgroups([])
            os.setuid(self.user[0])
        if self.preexec:
            self.preexec()

    def journal(self):
        try:
            return (self.work / "PelmDp.stderr").read_bytes().decode("utf-8", "replace")
        except FileNotFoundError:
            return "(the journal went with the board's folder)"

    # --- watching ----------------------------------------------------------
    def alive(self):
        return self.process is not None and self.process.poll() is None

    def family(self):
        """The process and its child processes: the helpers that do a
        board's work on its folders are part of what the board costs."""
        pids = [self.process.pid]
        try:
            for task in pathlib.Path(f"/proc/{self.process.pid}/task").iterdir():
                pids += [int(child) for child in (task / "children").read_text().split()]
        except OSError:
            pass  # ended meanwhile: the process alone
        return pids

    def cpu_seconds(self):
        """CPU time of the process and its child processes, all their
        threads, to the nanosecond where the kernel keeps scheduler
        statistics (clock ticks of 10 ms are too coarse for a board that
        idles at a few milliseconds a second)."""
        return sum(cpu_seconds_of(pid) for pid in self.family())

    def pss_kib(self, kind="Pss"):
        """Proportional set size in KiB of the process and its child
        processes, which share pages with it; kind "Pss_Anon" for private
        memory only."""
        return sum(pss_kib_of(pid, kind) for pid in self.family())

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

    def screen_ppm(self):
        """(width, height, pixel bytes) of the whole screen as it is now."""
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                             env=dict(os.environ, DISPLAY=f":{self.display}"),
                             capture_output=True).stdout
        parts = ppm.split(maxsplit=4)
        width, height = int(parts[1]), int(parts[2])
        return width, height, parts[4][-width * height * 3:]

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
            self.xvfb.stop()
            self.xvfb = None
        if getattr(self, "stderr", None):
            self.stderr.close()
        return status

    def remove(self):
        shutil.rmtree(self.work, ignore_errors=True)


class JournalOnFailure(unittest.TextTestResult):
    """Prints the journal of each board a failed test started beside the
    failure, so whoever reads it sees what the board said."""

    LINES = 40

    def startTest(self, test):
        self.first_board = len(Board.started)
        super().startTest(test)

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self.print_journals()

    def addError(self, test, err):
        super().addError(test, err)
        self.print_journals()

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self.print_journals()

    def print_journals(self):
        for board in Board.started[getattr(self, "first_board", 0):]:
            lines = board.journal().splitlines()[-self.LINES:]
            self.stream.writeln(f"--- the last {len(lines)} lines of the journal of the board "
                                f"in {board.work} ---")
            self.stream.writeln("\n".join(lines))


def run_tests():
    """unittest.main, with the boards' journals printed beside each failure."""
    unittest.main(testRunner=unittest.TextTestRunner(resultclass=JournalOnFailure, verbosity=2))


def start_xvfb(screen):
    """An Xvfb on a display number it picks itself, so boards started side
    by side (parallel tests, several benches) never share a screen."""
    reader, writer = os.pipe()
    try:
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", f"{screen}x24",
                                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, pass_fds=(writer,))
        os.close(writer)
        writer = None
        with os.fdopen(reader) as announced:
            reader = None
            display = announced.readline().strip()
    finally:
        for fd in (reader, writer):
            if fd is not None:
                os.close(fd)
    if not display:
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    # Announced is not always answering yet on a loaded machine: a board
    # started at once has been seen to find no display.
    wait_for(lambda: xvfb.poll() is not None or subprocess.run(
        ["xdpyinfo", "-display", f":{display}"], stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL).returncode == 0, 10)
    if xvfb.poll() is not None:
        raise RuntimeError(f"Xvfb on :{display} ended at start")
    return xvfb, int(display)


def cpu_seconds_of(pid):
    """CPU time of all the threads of one process (0 once it has gone)."""
    try:
        tasks = pathlib.Path(f"/proc/{pid}/task").iterdir()
        return sum(int((task / "schedstat").read_text().split()[0]) for task in tasks) / 1e9
    except (OSError, ValueError, IndexError):
        try:
            fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS
        except OSError:
            return 0.0


def pss_kib_of(pid, kind):
    try:
        for line in pathlib.Path(f"/proc/{pid}/smaps_rollup").read_text().splitlines():
            if line.startswith(kind + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


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


# --- a venue: several boards on one data folder --------------------------

def schedule_text(races, generation):
    """`races` back-to-back two-minute races from an hour ago, titled with
    `generation` so each replacement differs; CP932, CR LF."""
    now = time.localtime()
    start = now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec - 3600
    lines = []
    for race in range(races):
        begin = max(0, min(86398, start + race * 120))
        end = min(86399, begin + 120)
        stamp = lambda s: f"{s // 3600:02}:{s // 60 % 60:02}:{s % 60:02}"
        lines.append(f"{stamp(begin)},{stamp(end)},Race {race + 1} g{generation}")
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def replace_schedule(data, races, generation):
    """Replaces RInfo.txt as the venue's writer does: a new file renamed over
    the old. Returns the time of the rename (monotonic)."""
    temporary = pathlib.Path(data) / ".RInfo.txt.new"
    temporary.write_bytes(schedule_text(races, generation))
    os.rename(temporary, pathlib.Path(data) / "RInfo.txt")
    return time.monotonic()


def refresh_bursts(times, gap=0.06):
    """Table writes grouped into refreshes: one refresh writes its table in a
    burst of events; bursts are more than `gap` seconds apart."""
    bursts = []
    for moment in times:
        if not bursts or moment - bursts[-1] > gap:
            bursts.append(moment)
    return bursts


def refresh_rate(status, earlier=None):
    """Refreshes a second, from a board's status file: its count of the last
    minute's refreshes. Given an `earlier` status of a board still in its
    first minute, over the time between the two; otherwise over the last
    minute. (A board rebuilds its table only when the schedule changes, so
    the table's writes no longer count its refreshes.)"""
    def moment(name, of):
        return datetime.datetime.fromisoformat(of[name].replace("Z", "+00:00"))
    last = moment("lastRefreshAt", status)
    if earlier and (last - moment("startedAt", status)).total_seconds() < 59:
        between = (last - moment("lastRefreshAt", earlier)).total_seconds()
        return (status["refreshesLastMinute"] - earlier["refreshesLastMinute"]) / max(between, 1.0)
    lived = (last - moment("startedAt", status)).total_seconds()
    return status["refreshesLastMinute"] / max(1.0, min(60.0, lived))


def venue_statuses(folder):
    """The status copies in a venue folder, by working folder."""
    statuses = {}
    for path in pathlib.Path(folder).glob("*.json"):
        try:
            status = json.loads(path.read_text())
        except (OSError, ValueError):
            continue  # replaced while read; the next look sees it whole
        statuses[status.get("workingFolder")] = status
    return statuses


def poll_for(counters, seconds, interval=0.02):
    """Polls `counters` often for `seconds`, so each event's time is when it
    happened, give or take `interval`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for counter in counters:
            counter.poll()
        time.sleep(interval)
