#!/usr/bin/env python3
"""Installs the .deb in a scratch copy of this machine with a real systemd
user manager (scratch_system.py), has a user run the board and the control
room as services, removes the package as the guide's "Removing the board"
(docs/upgrading-and-removal.md) says, word for word, and checks that nothing of the package is left
enabled or running, also after installing it again.

    check-removal.py PACKAGE.deb docs/upgrading-and-removal.md

Needs root; without it, exits 77. The package's dependencies must be
installed on this machine (scripts/install-deps does).
"""

import pathlib
import re
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import scratch_system  # noqa: E402

scratch_system.enter()

UNITS = ("pelmdp.service", "pelm-venue.service")
PROGRAMS = ("PelmDp", "pelmctl")
failures = []


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    failures.append(message)


def removal_steps(guide):
    """The two command blocks of the guide's removal section: the user's,
    then root's."""
    section = re.split(r"\n#+ Removing the board\n", guide, maxsplit=1)[1].split("\n#", 1)[0]
    blocks = re.findall(r"((?:\n {4}\S.*)+)", section)
    if len(blocks) < 2:
        raise SystemExit("the removal section has no user block and root block")
    return [[line.strip() for line in block.strip("\n").splitlines()] for block in blocks[:2]]


def check_nothing_left(system, when):
    for unit in UNITS:
        state = system.as_user("systemctl", "--user", "is-enabled", unit, check=False).stdout.strip()
        if state in ("enabled", "enabled-runtime", "linked", "alias"):
            fail(f"{when}: {unit} is {state}")
        active = system.as_user("systemctl", "--user", "is-active", unit, check=False).stdout.strip()
        if active in ("active", "activating", "reloading"):
            fail(f"{when}: {unit} is {active}")
    links = system.as_root("find /etc/systemd/user /home/board/.config/systemd/user -type l "
                           "-lname '*pelm*' 2>/dev/null", check=False).stdout.split()
    if links:
        fail(f"{when}: links left that would enable a unit: {links}")
    running = [line for line in system.user_processes()
               if any(f"/{program} " in f"{line} " or line.startswith(program) for program in PROGRAMS)]
    if running:
        fail(f"{when}: still running: {running}")


def main():
    deb, guide = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).read_text()
    user_steps, root_steps = removal_steps(guide)
    with scratch_system.ScratchSystem() as system:
        # The guide's apt asks before it removes; here nobody answers.
        pathlib.Path("/etc/apt/apt.conf.d/99scratch-yes").write_text('APT::Get::Assume-Yes "true";\n')
        system.as_root(f"dpkg -i '{deb}'")
        system.as_user("mkdir -p ~/pelm && cd ~/pelm && pelmctl init ~/pelm/data && "
                       "mkdir -p ~/.config/autostart ~/.config/systemd/user/pelm-venue.service.d && "
                       "cp /usr/share/pelm/pelmdp-autostart.desktop ~/.config/autostart/ && "
                       "printf '%s\\n' '[Service]' 'Environment=PELM_VENUE=%h/pelm-status' "
                       "> ~/.config/systemd/user/pelm-venue.service.d/venue.conf && "
                       "mkdir -p ~/pelm-status && systemctl --user daemon-reload && "
                       "systemctl --user enable --now pelmdp.service pelm-venue.service",
                       shell=True)
        for unit in UNITS:
            if system.as_user("systemctl", "--user", "is-active", unit, check=False).stdout.strip() \
                    != "active":
                fail(f"{unit} did not start: the check below would prove nothing")

        for step in user_steps:
            result = system.as_user(step, shell=True, check=False)
            if result.returncode:
                fail(f"as the user, '{step}' failed: {result.stderr.strip()}")
        for step in root_steps:
            result = system.as_root(step, check=False)
            if result.returncode:
                fail(f"as root, '{step}' failed: {result.stderr.strip()}")
        if "install ok installed" in system.as_root("dpkg-query -W -f '${Status}' pelm",
                                                    check=False).stdout:
            fail("the guide's steps left the package installed")
        check_nothing_left(system, "after the guide's removal")

        system.as_root(f"dpkg -i '{deb}'")
        system.as_user("systemctl", "--user", "daemon-reload")
        check_nothing_left(system, "after installing again")

    if failures:
        print(f"{len(failures)} removal check(s) failed", file=sys.stderr)
        sys.exit(1)
    print(f"ok: removed as the guide says ({len(user_steps)} steps as the user, "
          f"{len(root_steps)} as root), nothing enabled or running, nor after a reinstall")


if __name__ == "__main__":
    main()
