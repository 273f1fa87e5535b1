"""X DAMAGE events of one window: what the board put on the screen, and
where, as the X server saw it. Shared by bench/clock_phase and
bench/slow_share (when the clock's digits change) and the repaint test
(how much of the screen a second costs)."""

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


# The clock's digits: right of the large logo, in the window's top rows.
CLOCK_LEFT, CLOCK_RIGHT, CLOCK_BOTTOM = 232, 900, 140


def clock_flips(damage, seconds):
    """{wall-clock second: milliseconds from it to the first repaint of the
    clock's digits after it} over the next `seconds`."""
    first = {}
    for seen, x, y, width, height in damage.rectangles(time.time() + seconds):
        # A repaint of the whole window (the first showing, the curtain) is
        # no flip of the digits.
        if x < CLOCK_LEFT or x + width > CLOCK_RIGHT or y >= CLOCK_BOTTOM:
            continue
        second = int(seen)
        first.setdefault(second, (seen - second) * 1000)
    return first


def delay_summary(delays):
    """Mean, 95th percentile and maximum of delays in milliseconds."""
    ordered = sorted(delays)
    if not ordered:
        return {"samples": 0}
    return {"samples": len(ordered), "mean_ms": round(sum(ordered) / len(ordered), 1),
            "p95_ms": round(ordered[min(len(ordered) - 1, int(0.95 * len(ordered)))], 1),
            "max_ms": round(ordered[-1], 1)}
