#!/usr/bin/env python3
"""Under a service manager the board speaks the notify protocol: READY=1
once it is up, a status line, and watchdog pings from its window's thread,
so a board that stops beating stops pinging. The test owns the datagram
socket that NOTIFY_SOCKET names, as systemd would.

    tests/board/service_notify_test.py --build build [unittest arguments]
"""

import os
import pathlib
import shutil
import signal
import socket
import sys
import tempfile
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import BoardCase, main  # noqa: E402

# The manager's watchdog interval; the board pings at a quarter of it.
WATCHDOG_USEC = 2_000_000
# The longest gap between pings that still leaves the manager two more
# chances: a bound on a stuck window, not a measure of the board's speed.
LONGEST_GAP = 1.5
STOPPED_SECONDS = 3


class NotifySocket:
    """A datagram socket that keeps every line it receives, with when."""

    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(str(path))
        self.lines = []  # (monotonic time, line)
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        while True:
            try:
                data = self.socket.recv(4096)
            except OSError:
                return
            now = time.monotonic()
            with self.lock:
                self.lines += [(now, line) for line in data.decode().split("\n") if line]

    def seen(self, start=0):
        with self.lock:
            return list(self.lines[start:])

    def close(self):
        self.socket.shutdown(socket.SHUT_RDWR)
        self.socket.close()


def stopped(pid):
    state = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
    return state in ("T", "t")


class ServiceNotifyTest(BoardCase):

    def listen(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-notify-"))
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.notify = NotifySocket(folder / "notify")
        self.addCleanup(self.notify.close)
        return folder / "notify"

    @staticmethod
    def resume(pid):
        try:
            os.kill(pid, signal.SIGCONT)
        except ProcessLookupError:
            pass

    def wait_for_line(self, line, start=0):
        self.wait(lambda: any(seen == line for _, seen in self.notify.seen(start)),
                  f"{line} on the notify socket")

    def test_ready_then_pings_while_the_window_beats_and_none_while_it_is_stopped(self):
        path = self.listen()
        self.start_board(lambda board: board.environment.update(
            NOTIFY_SOCKET=str(path), WATCHDOG_USEC=str(WATCHDOG_USEC)))
        self.wait_for_line("READY=1")
        self.wait(lambda: any(line.startswith("STATUS=running") for _, line in self.notify.seen()),
                  "a status line saying the board runs")

        ready = len(self.notify.seen())
        time.sleep(4)
        pings = [at for at, line in self.notify.seen(ready - 1) if line == "WATCHDOG=1"]
        self.assertGreaterEqual(len(pings), 3)
        gaps = [later - earlier for earlier, later in zip(pings, pings[1:])]
        self.assertLessEqual(max(gaps), LONGEST_GAP, gaps)

        pid = self.board.process.pid
        os.kill(pid, signal.SIGSTOP)
        self.addCleanup(self.resume, pid)
        self.wait(lambda: stopped(pid), "the board stopped by SIGSTOP")
        time.sleep(0.3)  # a ping sent just before the stop is read
        frozen = len(self.notify.seen())
        time.sleep(STOPPED_SECONDS)
        self.assertEqual(self.notify.seen(frozen), [])

        os.kill(pid, signal.SIGCONT)
        self.wait_for_line("WATCHDOG=1", frozen)

        closing = len(self.notify.seen())
        self.assertEqual(self.terminate(), 0)
        self.wait_for_line("STOPPING=1", closing)


if __name__ == "__main__":
    main()
