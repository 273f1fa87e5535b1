"""Hostile clients of the control room, each from an address of its own on
loopback (127.0.0.x), as a laptop on the venue's Wi-Fi would be (the
flood from eight addresses at once, as a few laptops), and a normal client
beside them. Shared by tests/pelmctl/serve_attacks_test.py (each
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


FLOOD_ADDRESSES = [f"127.0.0.{10 + n}" for n in range(8)]
FLOOD_PER_ADDRESS = 64  # as many as one address may hold
VENUE_JSON = b"GET /venue.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


def flood_connection(port, source, kind):
    """One connection of the flood, its first bytes sent: a slow reader
    asks for /venue.json (and takes its answer a byte at a time through a
    small window), a trickling head starts a request, an idle one says
    nothing."""
    connection = socket.socket()
    try:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        connection.settimeout(1)
        connection.bind((source, 0))
        connection.connect(("127.0.0.1", port))
        connection.setblocking(False)
        if kind == "slow reader":
            connection.send(VENUE_JSON)
        elif kind == "trickle":
            connection.send(b"GET / HTTP/1.1\r\n")
    except OSError:
        connection.close()
        raise
    return connection


def flood_step(connection, kind):
    """What each flood connection does each round; False once the server
    has closed it."""
    try:
        if kind == "trickle":
            connection.send(b"X-Slow: 1\r\n")
            return connection.recv(1, socket.MSG_PEEK) != b""
        return connection.recv(1) != b""  # a slow reader's byte, or an idle one's end
    except BlockingIOError:
        return True
    except OSError:
        return False


def eight_address_flood(port, stop):
    """Eight addresses at once, each holding all the connections it may:
    slow readers, idle connections and trickling heads, each opened again as
    soon as the server closes it."""
    kinds = ("slow reader", "idle", "trickle")
    held, opened = [], 0
    while not stop.is_set():
        while len(held) < len(FLOOD_ADDRESSES) * FLOOD_PER_ADDRESS and not stop.is_set():
            kind = kinds[opened % len(kinds)]
            try:
                held.append((flood_connection(
                    port, FLOOD_ADDRESSES[opened % len(FLOOD_ADDRESSES)], kind), kind))
            except OSError:
                break
            finally:
                opened += 1
        for connection, kind in list(held):
            if not flood_step(connection, kind):
                connection.close()
                held.remove((connection, kind))
        stop.wait(0.2)
    return [connection for connection, _ in held]


ATTACKS = {
    "pipelined answers nobody reads": pipelined_unread,
    "slow heads": slow_heads,
    "connection flood": connection_flood,
    "8-address flood": eight_address_flood,
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
    """One request as a browser makes it: (status, seconds) of the answer;
    the status None for an empty reply (the connection closed unanswered).
    A wait past `timeout` (for the connection, or for any next bytes)
    raises TimeoutError saying how far the request got."""
    started = time.monotonic()
    answer, stage = b"", "connecting"
    try:
        with connect(port, "127.0.0.1", timeout) as connection:
            connection.sendall(
                f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n".encode())
            stage = "awaiting the answer"
            try:
                while chunk := connection.recv(65536):
                    answer += chunk
            except ConnectionResetError:
                pass  # closed unanswered: an empty reply, as a browser sees it
    except TimeoutError as error:
        raise TimeoutError(f"GET {path}: nothing for {timeout} s while {stage}, "
                           f"{len(answer)} bytes of the answer come "
                           f"after {time.monotonic() - started:.1f} s") from error
    status = int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/") else None
    return status, time.monotonic() - started


def resident_kib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0
