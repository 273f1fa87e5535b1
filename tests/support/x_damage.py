"""X DAMAGE events of one window: what the board put on the screen, and
where, as the X server saw it. Shared by bench/clock_phase (when the
clock's digits change) and the repaint test (how much of the screen a
second costs)."""

import ctypes
import ctypes.util
import select
import struct
import time


class Damage:
    """X DAMAGE events of one window, through Xlib and libXdamage."""

    def __init__(self, display, window):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xdamage = ctypes.CDLL(ctypes.util.find_library("Xdamage"))
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for name in ("XFlush", "XPending", "XConnectionNumber", "XCloseDisplay"):
            getattr(self.x11, name).argtypes = [ctypes.c_void_p]
        self.x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.xdamage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                       ctypes.POINTER(ctypes.c_int)]
        self.xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        self.xdamage.XDamageCreate.restype = ctypes.c_ulong
        self.display = self.x11.XOpenDisplay(f":{display}".encode())
        if not self.display:
            raise RuntimeError(f"cannot open display :{display}")
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not self.xdamage.XDamageQueryExtension(self.display, ctypes.byref(event_base),
                                                  ctypes.byref(error_base)):
            raise RuntimeError("the X server has no DAMAGE extension")
        self.notify = event_base.value  # XDamageNotify is the extension's event 0
        raw_rectangles = 0
        self.xdamage.XDamageCreate(self.display, window, raw_rectangles)
        self.x11.XFlush(self.display)
        self.fd = self.x11.XConnectionNumber(self.display)
        self.event = (ctypes.c_long * 24)()

    def rectangles(self, until):
        """(wall time in s, x, y, width, height) of each damaged area until `until`."""
        while time.time() < until:
            select.select([self.fd], [], [], max(0.0, until - time.time()))
            while self.x11.XPending(self.display):
                self.x11.XNextEvent(self.display, self.event)
                seen = time.time()
                raw = bytes(self.event)
                if struct.unpack_from("i", raw, 0)[0] != self.notify:
                    continue
                x, y, width, height = struct.unpack_from("hhHH", raw, 64)
                yield seen, x, y, width, height

    def close(self):
        self.x11.XCloseDisplay(self.display)
