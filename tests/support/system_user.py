"""System users the whole-program tests run programs as (they need root)."""

import pwd
import subprocess


def system_user(name):
    """(uid, gid) of the system user `name`, made without a home or a login
    shell the first time it is asked for."""
    try:
        entry = pwd.getpwnam(name)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        name], check=True)
        entry = pwd.getpwnam(name)
    return entry.pw_uid, entry.pw_gid
