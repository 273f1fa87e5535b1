#!/usr/bin/env bash
# Builds the .deb from a configured and built tree, unpacks it into a scratch
# folder and checks what a venue PC would get from it.
#   check-deb.sh BUILD_DIR VERSION WITH_BOARD(0|1) CMAKE CPACK
set -euo pipefail

build=$1 version=$2 with_board=$3 cmake=$4 cpack=$5
scratch=$(mktemp -d "${TMPDIR:-/tmp}/pelm-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# --- the package itself ---------------------------------------------------
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb="$scratch/out/pelm_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
  ls -l "$scratch/out" >&2
  echo "FAIL: no $(basename "$deb")" >&2
  exit 1
fi

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$scratch/control"
dpkg-deb -c "$deb" | awk '{print $1, $6}' | sed 's| \./| /|' >"$scratch/list"

has_file() {  # path [mode-pattern]
  local line
  line=$(grep -E "^[^ ]+ $1\$" "$scratch/list" || true)
  if [ -z "$line" ]; then
    fail "package lacks $1"
  elif [ -n "${2:-}" ] && ! [[ ${line%% *} =~ $2 ]]; then
    fail "$1 has mode ${line%% *}, expected $2"
  fi
}

has_file /usr/bin/pelmctl '^-rwxr-xr-x$'
has_file /usr/share/man/man1/pelmctl.1.gz '^-rw-r--r--$'
has_file /etc/pelm/dbengine.ini '^-rw-r--r--$'
board_files=(
  /usr/share/man/man1/PelmDp.1.gz
  /usr/share/applications/pelmdp.desktop
  /usr/share/icons/hicolor/scalable/apps/pelmdp.svg
  /usr/lib/systemd/user/pelmdp.service
  /usr/share/pelm/pelmdp-autostart.desktop
)
if [ "$with_board" = 1 ]; then
  has_file /usr/bin/PelmDp '^-rwxr-xr-x$'
  for file in "${board_files[@]}"; do has_file "$file" '^-rw-r--r--$'; done
else
  # Without the board there must be nothing that would start it.
  for file in /usr/bin/PelmDp "${board_files[@]}"; do
    grep -q " $file\$" "$scratch/list" && fail "$file shipped without the board"
  done
fi

# Only the FHS places a package may use: nothing from /usr/local, no
# headers or static libraries of the internal libraries.
while read -r mode path; do
  case $path in
    /|/etc/|/etc/pelm/*|/usr/|/usr/bin/*|/usr/share/*|/usr/lib/|/usr/lib/systemd/*) ;;
    *) fail "unexpected path in package: $path" ;;
  esac
done <"$scratch/list"

# --- control data ---------------------------------------------------------
control="$scratch/control/control"
field() { sed -n "s/^$1: //p" "$control"; }
[ "$(field Package)" = pelm ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', expected $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
for name in Maintainer Section Description; do
  [ -n "$(field "$name")" ] || fail "control has no $name"
done

depends=$(field Depends)
wanted=(libc6 libstdc++6 libqt6core6 libsqlite3-0 qt6-qpa-plugins fonts-ipafont-gothic fonts-ipafont-mincho)
[ "$with_board" = 1 ] && wanted+=(libqt6widgets6)
for package in "${wanted[@]}"; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] \
    || fail "Depends lacks $package: $depends"
done
# Every dependency must be a real Debian package name: the build machine has
# them all, since it built against them.
IFS=',' read -ra clauses <<<"$depends"
for clause in "${clauses[@]}"; do
  package=$(sed -E 's/^ *([^ (|]+).*/\1/' <<<"$clause")
  dpkg-query -W "$package" >/dev/null 2>&1 || fail "Depends names $package, which dpkg does not know"
done

if [ -f "$scratch/control/conffiles" ]; then
  [ "$(cat "$scratch/control/conffiles")" = /etc/pelm/dbengine.ini ] \
    || fail "conffiles is '$(cat "$scratch/control/conffiles")'"
else
  fail "no conffiles: dpkg would overwrite an operator's dbengine.ini"
fi

# --- contents ---------------------------------------------------------------
ini="$root/etc/pelm/dbengine.ini"
if [ -f "$ini" ]; then
  grep -qx '\[Pelm\]' "$ini" || fail "dbengine.ini has no [Pelm] alias"
  grep -qx 'DEFAULT DRIVER=PARADOX' "$ini" || fail "dbengine.ini's alias has no PARADOX driver"
fi

pelmctl="$root/usr/bin/pelmctl"
if [ -x "$pelmctl" ]; then
  out=$("$pelmctl" --version) || fail "pelmctl --version exited with $?"
  [ "$out" = "pelmctl $version" ] || fail "pelmctl --version printed '$out', expected 'pelmctl $version'"

  # The man page carries every command the tool lists.
  page="$root/usr/share/man/man1/pelmctl.1.gz"
  if [ -f "$page" ]; then
    zcat "$page" >"$scratch/pelmctl.1"
    grep -qE '^\.TH PELMCTL "?1' "$scratch/pelmctl.1" || fail "pelmctl.1 has no .TH header"
    grep -qF "$version" "$scratch/pelmctl.1" || fail "pelmctl.1 does not name version $version"
    commands=$("$pelmctl" --help | sed -n '/^Commands:$/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p')
    [ -n "$commands" ] || fail "pelmctl --help lists no commands"
    for command in $commands; do
      grep -qF ".SS \"pelmctl $command\"" "$scratch/pelmctl.1" || fail "pelmctl.1 lacks command $command"
      # An operator reading the page needs at least one line to copy.
      "$pelmctl" "$command" --help | sed -n '/^Examples\{0,1\}:$/,$p' | grep -q "^  pelmctl $command" \
        || fail "pelmctl $command --help shows no example"
    done
  fi
fi

if [ "$with_board" = 1 ]; then
  page="$root/usr/share/man/man1/PelmDp.1.gz"
  if [ -f "$page" ]; then
    zcat "$page" >"$scratch/PelmDp.1"
    grep -qE '^\.TH PELMDP "?1' "$scratch/PelmDp.1" || fail "PelmDp.1 has no .TH header"
    grep -q '@[A-Z_]*@' "$scratch/PelmDp.1" && fail "PelmDp.1 has an unreplaced @VARIABLE@"
    for word in PelmDp.ini dbengine.ini RInfo.txt RInfomem.txt SIGTERM SIGINT; do
      grep -qF "$word" "$scratch/PelmDp.1" || fail "PelmDp.1 does not mention $word"
    done
  fi

  # Launchers must name a program and an icon the package really ships.
  for entry in usr/share/applications/pelmdp.desktop usr/share/pelm/pelmdp-autostart.desktop; do
    [ -f "$root/$entry" ] || continue
    desktop-file-validate "$root/$entry" || fail "$entry is not a valid desktop entry"
    program=$(sed -n 's/^TryExec=//p' "$root/$entry")
    [ -x "$root/usr/bin/$program" ] || fail "$entry runs '$program', not in /usr/bin"
    grep -qF "exec $program\"" "$root/$entry" || fail "$entry's Exec does not start $program"
    icon=$(sed -n 's/^Icon=//p' "$root/$entry")
    [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$entry's icon '$icon' is not shipped"
  done

  unit="$root/usr/lib/systemd/user/pelmdp.service"
  if [ -f "$unit" ]; then
    program=$(sed -n 's/^ExecStart=//p' "$unit")
    [ -x "$root/usr/bin/$program" ] || fail "pelmdp.service starts '$program', not in /usr/bin"
    grep -qx 'Restart=on-failure' "$unit" || fail "pelmdp.service does not restart on failure"
    grep -qx 'WorkingDirectory=%h/pelm' "$unit" || fail "pelmdp.service does not run in %h/pelm"
    grep -qx 'WantedBy=graphical-session.target' "$unit" || fail "pelmdp.service is not wanted by the graphical session"
  fi
fi

# --- cmake --install keeps an operator's configuration ----------------------
stage="$scratch/stage"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >/dev/null
[ -x "$stage/usr/bin/pelmctl" ] || fail "cmake --install put no pelmctl in bin"
if [ -f "$stage/etc/pelm/dbengine.ini" ]; then
  cmp -s "$stage/etc/pelm/dbengine.ini" "$ini" || fail "cmake --install and the package ship different dbengine.ini"
  echo "PATH=/srv/edited" >>"$stage/etc/pelm/dbengine.ini"
  DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >/dev/null
  grep -qx 'PATH=/srv/edited' "$stage/etc/pelm/dbengine.ini" \
    || fail "cmake --install overwrote an edited /etc/pelm/dbengine.ini"
else
  fail "cmake --install put no /etc/pelm/dbengine.ini"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $(basename "$deb")" >&2
  exit 1
fi
echo "ok: $(basename "$deb") ($(wc -l <"$scratch/list") entries)"
