#!/usr/bin/python3
"""A desktop's screen saver as the board meets it on the session bus: the
org.freedesktop.ScreenSaver service, answering Inhibit with a cookie and
taking UnInhibit. Each call is one JSON line on stdout, flushed, for the
test that started it to read.

    fake_screen_saver.py BUS_ADDRESS
"""

import json
import sys

# Debian's python3-dbus and python3-gi install beside the system interpreter.
sys.path.append("/usr/lib/python3/dist-packages")
import dbus  # noqa: E402
import dbus.mainloop.glib  # noqa: E402
import dbus.service  # noqa: E402
from gi.repository import GLib  # noqa: E402

NAME = "org.freedesktop.ScreenSaver"
COOKIE = 4242


def said(call, *arguments):
    print(json.dumps([call, *arguments]), flush=True)


class ScreenSaver(dbus.service.Object):
    @dbus.service.method(NAME, in_signature="ss", out_signature="u")
    def Inhibit(self, application, reason):
        said("Inhibit", str(application), str(reason))
        return COOKIE

    @dbus.service.method(NAME, in_signature="u")
    def UnInhibit(self, cookie):
        said("UnInhibit", int(cookie))


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    owned = dbus.service.BusName(NAME, bus)
    ScreenSaver(owned, "/org/freedesktop/ScreenSaver")
    said("ready")
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda connection: loop.quit())
    loop.run()


if __name__ == "__main__":
    main()
