"""`pelmctl serve` answers the page, its JSON and the pictures the status
copies name, and refuses everything else: other methods, every way of
reaching past the folder, names nobody gave, oversized requests, damaged
copies and pictures. Each request goes out raw, exactly as written."""

import os
import socket
import unittest

from venue_folder import Server, Venue, png

RACES = [("10:00:00", "10:20:00", "第1レース")]
WHOLE = png(48, 32, (0, 128, 0))


def send(port, raw):
    """Sends `raw` on a fresh connection; (status, headers, body) of the
    answer, read until the server closes."""
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
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1]) if lines[0].startswith("HTTP/") else None
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return status, headers, body


def request(method, target, extra=b""):
    return (f"{method} {target} HTTP/1.1\r\nHost: 127.0.0.1\r\n".encode("latin-1") + extra
            + b"Connection: close\r\n\r\n")


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
            # oversized requests
            ("GET", "/", many_headers, 431),
            ("GET", "/", b"X-Big: " + b"b" * 10000 + b"\r\n", 431),
            ("GET", "/" + "a" * 10000, b"", 431),
            ("POST", "/", b"Content-Length: 1000000\r\n", 413),
            ("POST", "/", b"Transfer-Encoding: chunked\r\n", 413),
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

    def test_damaged_copy_is_left_out(self):
        status, _, body = send(self.server.port, request("GET", "/venue.json"))
        self.assertEqual(status, 200)
        import json
        hosts = sorted(board["host"] for board in json.loads(body)["boards"])
        self.assertEqual(hosts, ["gate", "odd", "paddock", "stand"])

    def test_picture_is_served_whole(self):
        status, headers, body = send(self.server.port,
                                     request("GET", "/picture/paddock-1.png"))
        self.assertEqual((status, headers["content-type"], body), (200, "image/png", WHOLE))


if __name__ == "__main__":
    unittest.main(verbosity=2)
