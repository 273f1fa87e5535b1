"""`pelmctl serve` answers the page, its JSON, its metrics and the pictures
beside the status copies, and refuses everything else: other methods, every
way of reaching past the folder, names nobody gave, oversized requests, a
second request on one connection, Host names not its own, damaged copies and
pictures no board could have made. Each request goes out raw, exactly as
written."""

import json
import os
import pathlib
import shutil
import socket
import struct
import tempfile
import time
import unittest
import zlib

from venue_folder import Server, Venue, png, status_copy

RACES = [("10:00:00", "10:20:00", "第1レース")]
WHOLE = png(48, 32, (0, 128, 0))


def send_raw(port, raw):
    """Sends `raw` on a fresh connection; every byte of the answer, read
    until the server closes."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        try:
            connection.sendall(raw)
        except (BrokenPipeError, ConnectionResetError):
            pass  # refused before it was all sent; the answer still counts
        answer = b""
        try:
            while chunk := connection.recv(65536):
                answer += chunk
        except ConnectionResetError:
            pass
    return answer


def send(port, raw):
    """Sends `raw` on a fresh connection; (status, headers, body) of the
    answer, read until the server closes."""
    answer = send_raw(port, raw)
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1]) if lines[0].startswith("HTTP/") else None
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return status, headers, body


def request(method, target, extra=b"", host=b"Host: 127.0.0.1\r\n", version="1.1"):
    return (f"{method} {target} HTTP/{version}\r\n".encode("latin-1") + host + extra
            + b"Connection: close\r\n\r\n")


def claimed_png(width, height):
    """A small file whose header claims a picture of `width` x `height`."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))


class ServeRefusals(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.venue = Venue()
        folder = cls.venue.folder
        cls.venue.put("paddock-1.json", "paddock", RACES, picture="paddock-1.png")
        cls.venue.put("gate-2.json", "gate", RACES, picture="gate-2.png")
        cls.venue.put("stand-3.json", "stand", RACES, picture="stand-3.png")
        cls.venue.put("odd-4.json", "odd", RACES, picture="../paddock-1.png")
        (folder / "paddock-1.png").write_bytes(WHOLE)
        (folder / "stand-3.png").write_bytes(WHOLE[:len(WHOLE) // 2])  # being written
        (folder / "unnamed.png").write_bytes(WHOLE)
        (folder / "real.png").write_bytes(WHOLE)
        os.symlink(folder / "real.png", folder / "gate-2.png")
        (folder / "half-5.json").write_text('{"pid": 1, "state": "runn')
        cls.venue.put("huge-6.json", "huge", RACES, picture="huge-6.png")
        (folder / "huge-6.png").write_bytes(claimed_png(16000, 16000))
        cls.server = Server(folder)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.venue.close()

    def test_answers_and_refusals(self):
        long_name = "a" * 300 + ".png"
        many_headers = b"".join(b"X-Filler-%d: 1\r\n" % n for n in range(100))
        table = [
            # what is served
            ("GET", "/", b"", 200),
            ("HEAD", "/", b"", 200),
            ("GET", "/venue.js", b"", 200),
            ("GET", "/venue.css", b"", 200),
            ("GET", "/venue.json", b"", 200),
            ("GET", "/venue.json?x=1", b"", 200),
            ("GET", "/metrics", b"", 200),
            ("GET", "/picture/paddock-1.png", b"", 200),
            # methods
            ("POST", "/", b"Content-Length: 0\r\n", 405),
            ("PUT", "/venue.json", b"Content-Length: 0\r\n", 405),
            ("DELETE", "/picture/paddock-1.png", b"", 405),
            ("OPTIONS", "/", b"", 405),
            ("PATCH", "/", b"", 405),
            # ways past the folder
            ("GET", "/../../etc/passwd", b"", 404),
            ("GET", "/picture/../paddock-1.json", b"", 404),
            ("GET", "/picture/..%2fpaddock-1.json", b"", 404),
            ("GET", "/picture/%2e%2e%2f%2e%2e%2fetc%2fpasswd", b"", 404),
            ("GET", "/picture/%2e%2e/paddock-1.png", b"", 404),
            ("GET", "/picture/paddock-1.png%2f", b"", 404),
            ("GET", "/picture/..%5cpaddock-1.png", b"", 404),
            ("GET", "//etc/passwd", b"", 404),
            ("GET", "/picture//etc/passwd", b"", 404),
            ("GET", "/picture/%00paddock-1.png", b"", 404),
            ("GET", "/picture/" + long_name, b"", 404),
            # names nobody gave, listings, copies themselves
            ("GET", "/picture/unnamed.png", b"", 404),
            ("GET", "/picture/", b"", 404),
            ("GET", "/picture", b"", 404),
            ("GET", "/paddock-1.json", b"", 404),
            ("GET", "/picture/paddock-1.json", b"", 404),
            ("GET", "/index.html", b"", 404),
            ("GET", "/favicon.ico", b"", 404),
            # named, but a link to a picture, and a picture still being written
            ("GET", "/picture/gate-2.png", b"", 404),
            ("GET", "/picture/stand-3.png", b"", 404),
            # a picture no board makes: 16000 x 16000 pixels claimed
            ("GET", "/picture/huge-6.png", b"", 404),
            # oversized requests
            ("GET", "/", many_headers, 431),
            ("GET", "/", b"X-Big: " + b"b" * 10000 + b"\r\n", 431),
            ("GET", "/" + "a" * 10000, b"", 431),
            ("POST", "/", b"Content-Length: 1000000\r\n", 413),
            ("POST", "/", b"Transfer-Encoding: chunked\r\n", 413),
            # one request a connection: a second behind the first is refused
            ("GET", "/", b"\r\nGET /venue.json HTTP/1.1\r\nHost: 127.0.0.1\r\n", 400),
        ]
        for method, target, extra, expected in table:
            with self.subTest(method=method, target=target[:60], extra=extra[:30]):
                status, headers, body = send(self.server.port, request(method, target, extra))
                self.assertEqual(status, expected)
                self.assertEqual(headers.get("cache-control"), "no-store")
                if expected in (200, 404, 405):
                    self.assertIn("default-src 'none'", headers.get("content-security-policy"))
                if method == "HEAD":
                    self.assertEqual(body, b"")
                    self.assertGreater(int(headers["content-length"]), 0)
                if expected == 405:
                    self.assertEqual(headers.get("allow"), "GET, HEAD")
        self.assertIsNone(self.server.process.poll(), "the server ended")

    def test_a_head_read_two_ways_is_refused_never_answered_twice(self):
        """What a lenient reader could take for two requests, or for a
        request to another server, is refused with 400 and the connection
        closed: one answer, whatever follows in the bytes."""
        behind = b"GET /venue.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
        host = b"Host: 127.0.0.1\r\n"
        table = [
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length : %d\r\n\r\n" % len(behind) + behind,
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length\t: %d\r\n\r\n" % len(behind) + behind,
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length: 3\r\nContent-Length: 3\r\n\r\nabc",
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length: +3\r\n\r\nabc",
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length: -3\r\n\r\nabc",
            b"GET / HTTP/1.1\r\n" + host + b"Content-Length: 3, 3\r\n\r\nabc",
            b"GET / HTTP/1.1\nHost: 127.0.0.1\n\n" + behind,
            b"GET / HTTP/1.1\r\nHost: 127.0.0.1\nX-Hidden: 1\r\n\r\n",
            b"GET / HTTP/1.1\rHost: 127.0.0.1\r\n\r\n",
            b"GET / HTTP/1.1\r\n" + host + b" X-Folded: 1\r\n\r\n",
            b"GET / HTTP/1.1\r\n" + host + b"X(y): 1\r\n\r\n",
            b"GET / HTTP/1.1\r\n" + host + b"X-Nul: a\0b\r\n\r\n",
            b"GET  / HTTP/1.1\r\n" + host + b"\r\n",
            b"GET http://127.0.0.1/venue.json HTTP/1.1\r\n" + host + b"\r\n",
            b"GET http://evil.example/ HTTP/1.1\r\n" + host + b"\r\n",
            b"GET / HTTP/1.1\r\nHost: 127.0.0.1:8080@evil.example\r\n\r\n",
            b"GET / HTTP/1.1\r\nHost: user@127.0.0.1\r\n\r\n",
            b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: evil.example\r\n\r\n",
            b"GET / HTTP/1.1\r\nHost: 127.0.0.1/evil\r\n\r\n",
        ]
        for raw in table:
            with self.subTest(raw=raw[:70]):
                answer = send_raw(self.server.port, raw)
                self.assertEqual(answer.count(b"HTTP/1."), 1, answer[:300])
                self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), answer[:100])
        self.assertIsNone(self.server.process.poll(), "the server ended")

    def test_only_the_names_of_this_server_are_answered(self):
        port = self.server.port
        table = [
            (b"Host: 127.0.0.1\r\n", "1.1", 200),
            (f"Host: 127.0.0.1:{port}\r\n".encode(), "1.1", 200),
            (f"Host: localhost:{port}\r\n".encode(), "1.1", 200),
            (b"Host: LocalHost.\r\n", "1.1", 200),
            (f"Host: rebound.example.com:{port}\r\n".encode(), "1.1", 421),
            (b"Host: 192.0.2.7\r\n", "1.1", 421),
            (b"", "1.1", 400),  # HTTP/1.1 must say
            (b"", "1.0", 200),
        ]
        for host, version, expected in table:
            with self.subTest(host=host, version=version):
                status, _, _ = send(port, request("GET", "/venue.json", host=host,
                                                  version=version))
                self.assertEqual(status, expected)

    def test_http_1_0_without_keep_alive_sees_the_connection_closed(self):
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=5) as connection:
            connection.sendall(b"GET /venue.json HTTP/1.0\r\n\r\n")
            answer = b""
            while chunk := connection.recv(65536):  # a timeout here fails the test
                answer += chunk
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:100])

    def test_damaged_copies_and_pictures_are_left_out_and_said(self):
        status, _, body = send(self.server.port, request("GET", "/venue.json"))
        self.assertEqual(status, 200)
        venue = json.loads(body)
        boards = {board["host"]: board for board in venue["boards"]}
        self.assertEqual(sorted(boards), ["gate", "huge", "odd", "paddock", "stand"])
        self.assertEqual([entry.split(":")[0] for entry in venue["damaged"]], ["half-5.json"])
        self.assertEqual(venue["copies"]["damaged"], 1)
        self.assertTrue(boards["huge"]["pictureDamaged"])
        self.assertIsNone(boards["huge"]["picture"])
        self.assertEqual(boards["paddock"]["picture"], "paddock-1.png")
        self.assertIsNone(boards["odd"]["picture"], "a copy names only its own picture")

    def test_picture_is_served_whole(self):
        status, headers, body = send(self.server.port,
                                     request("GET", "/picture/paddock-1.png"))
        self.assertEqual((status, headers["content-type"], body), (200, "image/png", WHOLE))


class ServeStart(unittest.TestCase):
    def test_a_folder_that_cannot_be_read_is_said_at_start_and_on_the_page(self):
        parent = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-"))
        self.addCleanup(shutil.rmtree, parent, ignore_errors=True)
        later = parent / "later"
        server = Server(later)
        self.addCleanup(server.stop)
        _, _, body = send(server.port, request("GET", "/venue.json"))
        self.assertEqual(json.loads(body)["failure"], "No such file or directory")
        later.mkdir()  # a share mounted late: the page follows
        (later / "pc-1.json").write_text(json.dumps(status_copy("pc-1", RACES)))
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            _, _, body = send(server.port, request("GET", "/venue.json"))
            if json.loads(body)["boards"]:
                break
            time.sleep(0.2)
        self.assertEqual([board["host"] for board in json.loads(body)["boards"]], ["pc-1"])
        server.stop()
        self.assertIn("cannot be read: No such file or directory", server.stderr_text)

    def test_listening_on_every_address_says_the_page_is_open_to_the_network(self):
        venue = Venue()
        self.addCleanup(venue.close)
        server = Server(venue.folder, "0.0.0.0:0")
        server.stop()
        warnings = server.stderr_text
        self.assertEqual(warnings.count("open to every network"), 1, warnings)


if __name__ == "__main__":
    unittest.main(verbosity=2)
