"""Hostile clients of the control room, each from an address of its own on
loopback (127.0.0.x), as a laptop on the venue's Wi-Fi would be, and a
normal client beside them. Shared by tests/pelmctl/serve_attacks_test.py (each
attack is a row there) and bench/serve_attacks (which times the normal
client and measures the server's memory).
"""

import pathlib
import socket
import threading
import time

PICTURE = b"GET /picture/pc-1-a.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
MAX_SOCKETS = 900  # under the test process's own file limit


def connect(port, source, timeout=5):
    connection = socket.socket()
    connection.settimeout(timeout)
    connection.bind((source, 0))
    connection.connect(("127.0.0.1", port))
    return connection


def pipelined_unread(port, stop):
    """Connections that each send 200 requests for a picture at once and
    read nothing: answers would pile up unsent."""
    held = []
    while not stop.is_set() and len(held) < MAX_SOCKETS:
        try:
            connection = connect(port, "127.0.0.2")
            connection.sendall(PICTURE * 200)
            held.append(connection)
        except OSError:
            time.sleep(0.01)
        time.sleep(0.005)
    stop.wait()
    return held


def slow_heads(port, stop):
    """Connections that send a request line, then one header line a second:
    bytes trickling in for ever."""
    held = []
    while not stop.is_set():
        while len(held) < 300:
            try:
                connection = connect(port, "127.0.0.3")
                connection.sendall(b"GET / HTTP/1.1\r\n")
                held.append(connection)
            except OSError:
                break
        for connection in list(held):
            try:
                connection.sendall(b"X-Slow: 1\r\n")
            except OSError:  # closed by the server: open another
                connection.close()
                held.remove(connection)
        stop.wait(1)
    return held


def connection_flood(port, stop):
    """As many connections as one client can open, each saying nothing."""
    held = []
    while not stop.is_set() and len(held) < MAX_SOCKETS:
        try:
            held.append(connect(port, "127.0.0.4"))
        except OSError:
            time.sleep(0.01)
    stop.wait()
    return held


ATTACKS = {
    "pipelined answers nobody reads": pipelined_unread,
    "slow heads": slow_heads,
    "connection flood": connection_flood,
}


class Attack:
    """Runs one attack on a thread until stopped."""

    def __init__(self, name, port):
        self.stop_event = threading.Event()
        self.held = []
        self.thread = threading.Thread(
            target=lambda: self.held.extend(ATTACKS[name](port, self.stop_event)), daemon=True)
        self.thread.start()

    def stop(self):
        self.stop_event.set()
        self.thread.join(30)
        for connection in self.held:
            connection.close()


def normal_request(port, path="/venue.json", timeout=5):
    """One request as a browser makes it: (status, seconds) of the answer."""
    started = time.monotonic()
    with connect(port, "127.0.0.1", timeout) as connection:
        connection.sendall(
            f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
        answer = b""
        while chunk := connection.recv(65536):
            answer += chunk
    status = int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/") else None
    return status, time.monotonic() - started


def resident_kib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0
