"""Watches a running board as an operator's tools do: its status file, its
journal on stderr, and the rows a schedule should put on screen.

Shared by bench/recovery and the whole-program tests in tests/board. Each
board gets a runtime folder of its own, so its status file is the only one
there and nothing of the user's real boards is read or disturbed.
"""

import datetime
import glob
import json
import os
import pathlib
import re
import subprocess
import tempfile
import time

# The grid's rows in sight, the most a status file lists; while a notice
# shows, the window's lower part is the notice's and fewer rows are in sight.
ROWS_IN_SIGHT = 9
ROWS_UNDER_NOTICE = 6
RACE_MINUTES = 2


def runtime_folder():
    """A private $XDG_RUNTIME_DIR for one board."""
    folder = tempfile.mkdtemp(prefix="pelm-runtime-")
    os.chmod(folder, 0o700)
    return folder


def clock_text(seconds):
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def seconds_of(text):
    hours, minutes, seconds = (int(part) for part in text.split(":"))
    return hours * 3600 + minutes * 60 + seconds


def day_lines(now=None, races=12, label="組"):
    """A schedule of `races` two-minute races, the first started a minute
    ago, each with a title of its own; none crosses midnight."""
    now = now or datetime.datetime.now()
    first = max(0, now.hour * 3600 + now.minute * 60 - 60)
    lines = []
    for index in range(races):
        start = first + index * RACE_MINUTES * 60
        end = start + RACE_MINUTES * 60
        if end >= 24 * 3600:
            break
        lines.append(f"{clock_text(start)},{clock_text(end)},第{index + 1}{label} 500m")
    return lines


def schedule_bytes(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp932")


def expected_titles(lines, now=None):
    """The titles the grid should list now: races not yet ended, by start."""
    now = now or datetime.datetime.now()
    second = now.hour * 3600 + now.minute * 60 + now.second
    races = [line.split(",", 2) for line in lines]
    upcoming = sorted((seconds_of(start), title) for start, end, title in races
                      if seconds_of(end) > second)
    return [title for _, title in upcoming][:ROWS_IN_SIGHT]


def refresh_time(status):
    """The status file's last refresh as an aware datetime; the epoch
    before the first."""
    text = (status or {}).get("lastRefreshAt") or "1970-01-01T00:00:00Z"
    return datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))


def titles_of(status):
    if not status or status.get("state") != "running":
        return None
    return [row["title"] for row in status.get("rows", [])]


def shows(status, lines):
    """True when the status file lists the rows `lines` should put on screen,
    allowing for a race that ends between the board's look and ours."""
    titles = titles_of(status)
    if titles is None:
        return False
    for now in (datetime.datetime.now(), datetime.datetime.now() - datetime.timedelta(seconds=1)):
        expected = expected_titles(lines, now)
        if titles in (expected, expected[:ROWS_UNDER_NOTICE]):
            return True
    return False


class Watch:
    """The status file and journal of one board (a board_harness.Board
    started with XDG_RUNTIME_DIR=`runtime`)."""

    def __init__(self, board, runtime):
        self.board = board
        self.runtime = runtime

    def status_file(self):
        found = glob.glob(os.path.join(self.runtime, "pelm", "board-*.json"))
        return found[0] if found else None

    def status(self):
        """The status file as the board last wrote it; None before the first."""
        path = self.status_file()
        if path is None:
            return None
        try:
            return json.loads(pathlib.Path(path).read_bytes())
        except (OSError, ValueError):
            return None

    def operator_status(self):
        """`pelmctl status --json` in the board's folder: the file with the
        tool's verdict; None when the tool found no board."""
        result = subprocess.run([str(self.board.build / "src/pelmctl/pelmctl"), "status", "--json"],
                                cwd=self.board.work, capture_output=True, text=True,
                                env=dict(os.environ, XDG_RUNTIME_DIR=self.runtime))
        try:
            return json.loads(result.stdout)
        except ValueError:
            return None

    def journal(self):
        """The board's stderr lines so far."""
        path = self.board.work / "PelmDp.stderr"
        return path.read_bytes().decode("utf-8", "replace").splitlines() if path.exists() else []

    def journal_has(self, text, priority=None):
        prefix = f"<{priority}>" if priority is not None else ""
        return any(line.startswith(prefix) and text in line for line in self.journal())


# A program that is alive but has said nothing yet is still starting, and
# is waited for this long: enough for the sanitizer build on a loaded
# two-core machine, where a start-up has been seen to take past 15 s. What a
# program does once it has started keeps a deadline of its own.
STARTUP_SECONDS = 300


def load_average():
    """The machine's load over the last 1, 5 and 15 minutes, as text."""
    try:
        return " ".join(pathlib.Path("/proc/loadavg").read_text().split()[:3])
    except OSError:
        return "unknown"


def process_state(pid, returncode=None):
    """How a process stands, for a failure message: its exit status once
    it ended, else the kernel's word for what it is doing."""
    if returncode is not None:
        return f"ended with status {returncode}"
    try:
        for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("State:"):
                return "alive, " + line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "gone"


def said_anything(lines):
    """Whether a journal holds one of the program's own lines (<N>...)."""
    return any(re.match(r"<\d>", line) for line in lines)


def await_start(started, ended, report, what, seconds=STARTUP_SECONDS):
    """Waits while a program starts: until `started()`, for as long as
    `seconds` while it lives. Fails at once when `ended()`, with
    `report()` (its state and whole output) and the machine's load.
    Returns how long the start took."""
    begun, load_before = time.monotonic(), load_average()
    while not started():
        gone = ended()
        waited = time.monotonic() - begun
        if gone or waited > seconds:
            why = "ended while starting" if gone else f"still starting after {seconds} s"
            raise AssertionError(
                f"{what}: {why} (waited {waited:.1f} s; load average {load_before} "
                f"at the start of the wait, {load_average()} at its end)\n{report()}")
        time.sleep(0.1)
    took = time.monotonic() - begun
    record_start(what, took)
    return took


def record_start(what, seconds):
    """Adds a start-up's length to $PELM_STARTUP_LOG when it is set, so a
    run under load can tell how long its slowest start-up took."""
    log = os.environ.get("PELM_STARTUP_LOG")
    if log:
        with open(log, "a") as lines:
            lines.write(f"{seconds:.2f}\t{what}\n")


def wait_until(condition, seconds, what, poll=0.05):
    """The first true value of `condition()` within `seconds`; raises
    AssertionError naming `what` (and the last value seen) otherwise."""
    deadline = time.monotonic() + seconds
    value = None
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"within {seconds} s: {what} (last seen: {value!r})")
        time.sleep(poll)
