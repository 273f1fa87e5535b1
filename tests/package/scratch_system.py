"""A throwaway copy of this machine with a real systemd user manager in it,
for tests that install the package or run the board as its user service.

The calling script runs again inside a mount and network namespace of its
own (enter()), where the machine's root lies under an overlay whose changes
stay in memory: dpkg's database, /etc, new users, all gone when the script
ends. It has a private /run, /tmp and loopback, a journald of its own
(persistent, so each user has a journal as on a Debian 12 PC) and one user,
"board", whose `systemd --user` runs in a cgroup of its own. Needs root,
unshare (util-linux) and setpriv.

    import scratch_system
    scratch_system.enter()          # first thing: re-runs the script inside
    with scratch_system.ScratchSystem() as system:
        system.as_user("systemctl", "--user", "status")
"""

import os
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
from board_watch import wait_until  # noqa: E402

INSIDE = "PELM_SCRATCH_SYSTEM"
USER, UID = "board", 4242
HOME = pathlib.Path("/home") / USER
RUNTIME = pathlib.Path("/run/user") / str(UID)
JOURNALD_CGROUP, USER_CGROUP = "systemd-journald.service", f"user@{UID}.service"
# What a test that cannot have a scratch system exits with (ctest's
# SKIP_RETURN_CODE), so it shows as not run rather than passed.
CANNOT_RUN = 77
# Where the overlay's layers go: a tmpfs mounted over the machine's /mnt in
# the private namespace, so nothing of it lands on the machine's disk.
LAYERS = pathlib.Path("/mnt")


def enter():
    """Re-runs this script in namespaces of its own, unless it already is."""
    if os.environ.get(INSIDE):
        return
    missing = [tool for tool in ("unshare", "setpriv") if not shutil.which(tool)]
    if os.geteuid() != 0 or missing or not pathlib.Path("/lib/systemd/systemd").exists():
        print(f"cannot run: needs root, systemd, unshare and setpriv (missing: {missing})",
              file=sys.stderr)
        sys.exit(CANNOT_RUN)
    os.environ[INSIDE] = "1"
    os.execvp("unshare", ["unshare", "--mount", "--net", "--propagation", "private", "--",
                          sys.executable, *sys.argv])


def mount(*arguments):
    subprocess.run(["mount", *arguments], check=True)


def cgroup_hierarchies():
    """Where systemd keeps its processes: the cgroup v2 tree, or on a hybrid
    machine its unified part and the named v1 tree beside it."""
    if pathlib.Path("/sys/fs/cgroup/cgroup.controllers").exists():
        return [pathlib.Path("/sys/fs/cgroup")]
    return [pathlib.Path(folder) for folder in ("/sys/fs/cgroup/unified", "/sys/fs/cgroup/systemd")
            if pathlib.Path(folder).is_dir()]


# The checkout and whatever runs from it (a CI clone may well lie in /tmp):
# seen inside at the same path, through the private /run and /tmp.
CHECKOUT = pathlib.Path(__file__).resolve().parent.parent.parent


def keep_visible(root):
    for path in {CHECKOUT, pathlib.Path.cwd().resolve()}:
        if path.parts[1:2] in (("run",), ("tmp",)):
            inside = root / path.relative_to("/")
            inside.mkdir(parents=True, exist_ok=True)
            mount("--rbind", str(path), str(inside))


class ScratchSystem:

    def __enter__(self):
        if not os.environ.get(INSIDE):
            raise RuntimeError("scratch_system.enter() was not called first")
        mount("-t", "tmpfs", "tmpfs", str(LAYERS))
        for part in ("upper", "work", "root"):
            (LAYERS / part).mkdir()
        root = LAYERS / "root"
        mount("-t", "overlay", "overlay", "-o",
              f"lowerdir=/,upperdir={LAYERS}/upper,workdir={LAYERS}/work", str(root))
        mount("-t", "proc", "proc", str(root / "proc"))
        mount("--rbind", "/sys", str(root / "sys"))
        mount("--rbind", "/dev", str(root / "dev"))
        for private in ("run", "tmp"):
            mount("-t", "tmpfs", "tmpfs", str(root / private))
        keep_visible(root)
        os.chroot(root)
        os.chdir("/")
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        pathlib.Path("/run/systemd/system").mkdir(parents=True)  # "booted with systemd"
        self.cgroups = self.make_cgroups()
        self.journald = self.start_journald()
        self.user_manager = self.start_user_manager()
        return self

    def __exit__(self, *failure):
        self.stop_user_manager()
        for cgroup in reversed(self.cgroups):
            kill = cgroup / "cgroup.kill"
            if kill.exists():
                kill.write_text("1")
        self.journald.kill()
        self.journald.wait()
        for cgroup in reversed(self.cgroups):
            remove_cgroup(cgroup)
        return False

    # --- set-up ---------------------------------------------------------
    def make_cgroups(self):
        """One cgroup for journald, one delegated to the user's manager, in
        each hierarchy systemd looks at (hybrid has two). Named as systemd
        names them: the journal finds a line's user unit by a path of
        slices, then user@UID.service, then the unit."""
        made = []
        for hierarchy in cgroup_hierarchies():
            base = hierarchy / f"pelm-scratch-{os.getpid()}.slice"
            base.mkdir()
            made.append(base)
            for part in (JOURNALD_CGROUP, USER_CGROUP):
                (base / part).mkdir()
            for path in [base / USER_CGROUP, *(base / USER_CGROUP).iterdir()]:
                os.chown(path, UID, UID)
        return made

    def join(self, part):
        """A preexec function that moves the child into our `part` cgroups."""
        def moved():
            for base in self.cgroups:
                (base / part / "cgroup.procs").write_text(str(os.getpid()))
        return moved

    def start_journald(self):
        config = pathlib.Path("/etc/systemd/journald.conf.d")
        config.mkdir(parents=True, exist_ok=True)
        (config / "scratch.conf").write_text(
            "[Journal]\nStorage=persistent\nForwardToSyslog=no\nForwardToWall=no\n"
            "ReadKMsg=no\nRateLimitBurst=0\n")
        shutil.rmtree("/var/log/journal", ignore_errors=True)
        pathlib.Path("/var/log/journal").mkdir(parents=True)
        journald = subprocess.Popen(["/lib/systemd/systemd-journald"], preexec_fn=self.join(JOURNALD_CGROUP),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: pathlib.Path("/run/systemd/journal/stdout").exists(), 10, "journald")
        # As systemd-journal-flush.service at boot: from now on in
        # /var/log/journal, where each user has a journal file of their own.
        subprocess.run(["journalctl", "--flush"], check=True)
        return journald

    def start_user_manager(self):
        subprocess.run(["useradd", "--create-home", "--uid", str(UID), "--user-group",
                        "--shell", "/bin/bash", USER], check=True)
        RUNTIME.mkdir(parents=True, mode=0o700)
        os.chown(RUNTIME, UID, UID)
        log = open("/tmp/user-manager.log", "wb")
        manager = subprocess.Popen(["setpriv", f"--reuid={UID}", f"--regid={UID}", "--init-groups",
                                    "env", "-i", *self.user_environment(),
                                    "/lib/systemd/systemd", "--user", "--log-target=journal"],
                                   preexec_fn=self.join(USER_CGROUP), stdout=log, stderr=log)
        wait_until(lambda: self.as_user("systemctl", "--user", "is-system-running",
                                        check=False).stdout.strip() in ("running", "degraded"),
                   20, "the user's systemd manager")
        return manager

    def stop_user_manager(self):
        if self.user_manager.poll() is None:
            self.as_user("systemctl", "--user", "exit", check=False)
            try:
                self.user_manager.wait(20)
            except subprocess.TimeoutExpired:
                self.user_manager.kill()
                self.user_manager.wait()

    @staticmethod
    def user_environment():
        return [f"HOME={HOME}", f"USER={USER}", f"LOGNAME={USER}", f"XDG_RUNTIME_DIR={RUNTIME}",
                "PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8"]

    def install_units(self, build, repo):
        """The package's user units as the user's own, running `build`'s
        programs instead of installed ones, and the board's folder ~/pelm."""
        units = HOME / ".config/systemd/user"
        self.as_user("mkdir", "-p", str(units))
        for name, program in (("pelmdp", "board/PelmDp"), ("pelm-venue", "pelmctl/pelmctl")):
            shipped = (pathlib.Path(repo) / f"debian/pelm.{name}.user.service").read_text()
            installed = program.split("/")[1]
            text = shipped.replace(f"ExecStart=/usr/bin/{installed}",
                                   f"ExecStart={pathlib.Path(build).resolve()}/src/{program}")
            if text == shipped:
                raise RuntimeError(f"{name}: no ExecStart of /usr/bin/{installed}")
            (units / f"{name}.service").write_text(text)
            os.chown(units / f"{name}.service", UID, UID)
        # ~/pelm-status: the control room's folder unless a drop-in names another.
        self.as_user(f"mkdir -p ~/pelm ~/pelm-status && cd ~/pelm && "
                     f"{build}/src/pelmctl/pelmctl init ~/pelm/data && systemctl --user daemon-reload",
                     shell=True)

    # --- use --------------------------------------------------------------
    def as_user(self, *command, check=True, shell=False):
        """Runs `command` as the user, in a login-like environment; with
        `shell`, the one word is a shell command line, run in the home."""
        if shell:
            command = ("sh", "-c", f"cd && {command[0]}")
        return subprocess.run(["setpriv", f"--reuid={UID}", f"--regid={UID}", "--init-groups",
                               "env", "-i", *self.user_environment(), *command],
                              check=check, capture_output=True, text=True)

    def spawn_as_user(self, *command):
        """Starts `command` as the user, in the background; returns the Popen."""
        return subprocess.Popen(["setpriv", f"--reuid={UID}", f"--regid={UID}", "--init-groups",
                                 "env", "-i", *self.user_environment(), *command],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def as_root(self, command_line, check=True):
        return subprocess.run(command_line, shell=True, check=check, capture_output=True,
                              text=True, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))

    def user_processes(self):
        """Command lines of every process the user's manager runs, but its
        own: those in its cgroup, so not another scratch system's user of
        the same number, whose processes this one's /proc shows too."""
        found = []
        for procs in (self.cgroups[0] / USER_CGROUP).rglob("cgroup.procs"):
            for pid in procs.read_text().split():
                try:
                    line = pathlib.Path(f"/proc/{pid}/cmdline").read_bytes()
                except OSError:
                    continue
                line = line.replace(b"\0", b" ").decode(errors="replace").strip()
                if line and "systemd --user" not in line:
                    found.append(line)
        return found


def remove_cgroup(folder):
    """Removes a cgroup folder and those under it, once their processes end."""
    for child in sorted((path for path in folder.rglob("*") if path.is_dir()),
                        key=lambda path: len(path.parts), reverse=True):
        wait_until(lambda: _rmdir(child), 10, f"an empty {child}")
    wait_until(lambda: _rmdir(folder), 10, f"an empty {folder}")


def _rmdir(folder):
    try:
        folder.rmdir()
        return True
    except FileNotFoundError:
        return True
    except OSError:
        return False
