"""Debian's Chromium, headless, driven through its DevTools protocol over a
websocket of a few dozen lines, so the test needs nothing but the browser."""

import base64
import json
import os
import pathlib
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request

BROWSER = shutil.which("chromium")


class Socket:
    """A client websocket: text frames out (masked), whole messages in."""

    def __init__(self, url):
        host_port, _, path = url[len("ws://"):].partition("/")
        host, _, port = host_port.partition(":")
        self.connection = socket.create_connection((host, int(port)), timeout=30)
        key = base64.b64encode(os.urandom(16)).decode()
        self.connection.sendall(
            (f"GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n"
             f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
             "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            answer += self.connection.recv(1)
        if b" 101 " not in answer.split(b"\r\n")[0]:
            raise ConnectionError(answer.decode("latin-1"))

    def _exactly(self, count):
        data = b""
        while len(data) < count:
            chunk = self.connection.recv(count - len(data))
            if not chunk:
                raise ConnectionError("the browser closed the socket")
            data += chunk
        return data

    def send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        size = len(payload)
        if size < 126:
            head = struct.pack("!BB", 0x81, 0x80 | size)
        elif size < 65536:
            head = struct.pack("!BBH", 0x81, 0x80 | 126, size)
        else:
            head = struct.pack("!BBQ", 0x81, 0x80 | 127, size)
        masked = bytes(byte ^ mask[n % 4] for n, byte in enumerate(payload))
        self.connection.sendall(head + mask + masked)

    def receive(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            size = second & 0x7F
            if size == 126:
                size = struct.unpack("!H", self._exactly(2))[0]
            elif size == 127:
                size = struct.unpack("!Q", self._exactly(8))[0]
            message += self._exactly(size)
            if first & 0x80:
                return message.decode()

    def close(self):
        self.connection.close()


class Browser:
    """One headless Chromium with a fresh profile, showing `url`."""

    def __init__(self, url, width=1280, height=900):
        self.profile = tempfile.mkdtemp(prefix="pelm-chromium-")
        self.process = subprocess.Popen(
            [BROWSER, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", f"--user-data-dir={self.profile}", "--remote-debugging-port=0",
             f"--window-size={width},{height}", url],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = pathlib.Path(self.profile) / "DevToolsActivePort"
        deadline = time.monotonic() + 60
        while not (port_file.exists() and port_file.read_text().count("\n") >= 1):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.close()
                raise RuntimeError("Chromium did not open its DevTools port")
            time.sleep(0.1)
        port = int(port_file.read_text().split("\n")[0])
        pages = []
        while not pages:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=10) as answer:
                pages = [target for target in json.load(answer) if target["type"] == "page"]
            time.sleep(0.1)
        self.socket = Socket(pages[0]["webSocketDebuggerUrl"])
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            answer = json.loads(self.socket.receive())
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page, through JSON."""
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError(result["exceptionDetails"])
        return result["result"].get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        pathlib.Path(path).write_bytes(base64.b64decode(data))

    def close(self):
        if getattr(self, "socket", None):
            self.socket.close()
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
