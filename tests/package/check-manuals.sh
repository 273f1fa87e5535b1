#!/usr/bin/env bash
# Renders both manual pages with man, as a reader gets them, and checks that
# groff has nothing to complain about, that no section comes twice, and that
# every command pelmctl lists has its section once.
#   check-manuals.sh PAGES_DIR PELMCTL
set -euo pipefail

pages=$1 pelmctl=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/pelm-man.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

render() {  # page -> $scratch/page.txt; groff's warnings count as faults
  local page=$1 text="$scratch/$1.txt"
  LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING= man --warnings -l "$pages/$page.1.gz" \
    >"$text" 2>"$scratch/$page.err" || fail "man could not render $page"
  [ -s "$scratch/$page.err" ] && fail "$page: groff says: $(cat "$scratch/$page.err")"
  local twice
  twice=$(grep -E '^[A-Z][A-Z ]+$' "$text" | sort | uniq -d)
  [ -z "$twice" ] || fail "$page has these sections twice: $twice"
  for section in NAME SYNOPSIS DESCRIPTION FILES ENVIRONMENT 'EXIT STATUS' \
                 'SCHEDULE AND NOTICE FILES' 'SEE ALSO'; do
    grep -qx "$section" "$text" || fail "$page has no $section section"
  done
}

render PelmDp
render pelmctl

commands=$("$pelmctl" --help | sed -n '/^Commands:$/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p')
[ -n "$commands" ] || fail "pelmctl --help lists no commands"
for command in $commands; do
  count=$(grep -cx "   pelmctl $command" "$scratch/pelmctl.txt" || true)
  [ "$count" = 1 ] || fail "pelmctl's page has the $command section $count times"
done

# What the board does today, not what it once did.
board="$scratch/PelmDp.txt"
for word in --fullscreen --windowed --screen --help --version FullScreen TableDir StatusDir \
            RInfo.txt RInfomem.txt dbengine.ini /etc/pelm/dbengine.ini Shift-JIS SIGTERM journalctl; do
  grep -qF -- "$word" "$board" || fail "PelmDp's page does not mention $word"
done
grep -qi 'stops refreshing\|until it is started again' "$board" \
  && fail "PelmDp's page still says an unreadable schedule stops the board"
for status in 0 1 2 3; do
  grep -qE "^       $status +[a-z]" "$scratch/pelmctl.txt" || fail "pelmctl's EXIT STATUS lacks $status"
done

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "ok: PelmDp and pelmctl ($(echo $commands | wc -w) commands) render cleanly"
