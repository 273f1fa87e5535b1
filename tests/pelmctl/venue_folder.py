"""A venue's status folder as boards on other PCs fill it, and `pelmctl
serve` running on it. Shared by the control-room tests in this folder.

Each test script takes `--build DIR` (the build folder holding the programs)
before unittest's own arguments.
"""

import datetime
import json
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import zlib

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(REPO / "tests/support"))
from board_harness import build_folder  # noqa: E402


BUILD = build_folder()
PELMCTL = BUILD / "src" / "pelmctl" / "pelmctl"


def iso(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%S.") + f"{moment.microsecond // 1000:03d}Z"


def png(width, height, rgb):
    """A whole PNG of one colour."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    row = b"\0" + bytes(rgb) * width
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(row * height))
            + chunk(b"IEND", b""))


def status_copy(host, races, *, error=None, age_seconds=0.5, synchronised=True, picture=None,
                state="running", name=None, clock_offset=0, folder=None, pid=4242,
                read_ms=None):
    """A board's status copy as the board writes it, now by a clock
    `clock_offset` seconds ahead of this PC's."""
    now = (datetime.datetime.now(datetime.timezone.utc)
           + datetime.timedelta(seconds=clock_offset))
    copy = {
        "pid": pid, "startedAt": iso(now - datetime.timedelta(hours=1)),
        "lastRefreshAt": iso(now - datetime.timedelta(seconds=age_seconds)),
        "writtenAt": iso(now),
        "refreshesLastMinute": 240, "state": state,
        "rows": [{"start": start, "end": end, "title": title} for start, end, title in races],
        "previousRace": "", "error": error, "errorCount": 3 if error else 0,
        "host": host, "workingFolder": folder or f"/home/{host}/pelm", "version": "1.3.0",
        "clockSynchronised": synchronised, "clockMaxErrorMs": 4 if synchronised else None,
    }
    if picture:
        copy["picture"] = picture
        copy["pictureTakenAt"] = iso(now - datetime.timedelta(seconds=5))
    if name:
        copy["name"] = name
    if read_ms is not None:  # the data folder's last read, and the slowest of the minute
        copy["dataReadMs"], copy["dataReadSlowestMs"] = read_ms, read_ms * 3
    return copy


class Venue:
    """A status folder whose fresh copies are kept fresh, as running boards
    keep them, by a thread that rewrites them every `interval` seconds."""

    def __init__(self, interval=0.5):
        self.interval = interval
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-"))
        self.copies = {}  # file name -> (copy arguments, keep fresh)
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._refresh, daemon=True)
        self.thread.start()

    def put(self, file, host, races, fresh=True, **options):
        with self.lock:
            self.copies[file] = ((host, races), options, fresh)
            self._write(file)

    def _write(self, file):
        (host, races), options, _ = self.copies[file]
        options = dict(options)
        raw_controls = options.pop("raw_controls", False)
        text = json.dumps(status_copy(host, races, **options), ensure_ascii=False)
        if raw_controls:  # as no JSON writer would: U+0001 written raw
            text = text.replace("\\u0001", "\x01")
        target = self.folder / file
        scratch = target.with_name("." + file + ".tmp")
        scratch.write_text(text)
        os.replace(scratch, target)

    def _refresh(self):
        while not self.stopping.wait(self.interval):
            with self.lock:
                for name, (_, _, fresh) in self.copies.items():
                    if fresh:
                        self._write(name)

    def close(self):
        self.stopping.set()
        self.thread.join()
        shutil.rmtree(self.folder, ignore_errors=True)


class Server:
    """`pelmctl serve` on the folder, on a port the system picks."""

    def __init__(self, folder, listen="127.0.0.1:0", *options):
        self.process = subprocess.Popen(
            [str(PELMCTL), "serve", "--venue", str(folder), "--listen", listen, *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        found = re.search(r"http://[^/]*:(\d+)/", line)
        if not found:
            self.stop()
            raise AssertionError(f"pelmctl serve did not start: {line!r} "
                                 f"{self.process.stderr.read()!r}")
        self.port = int(found.group(1))
        self.url = f"http://127.0.0.1:{self.port}/"

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(10)
        if not self.process.stderr.closed:
            self.process.stdout.close()
            self.stderr_text = self.process.stderr.read()
            self.process.stderr.close()
