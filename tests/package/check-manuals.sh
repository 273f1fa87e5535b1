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
# A venue PC is set up and checked with these two.
for word in "pelmctl setup --fullscreen" "pelmctl doctor"; do
  grep -qF -- "$word" "$board" || fail "PelmDp's page does not show $word"
  sed -n '/^EXAMPLES$/,/^[A-Z]/p' "$scratch/pelmctl.txt" | grep -qF -- "$word" \
    || fail "pelmctl's EXAMPLES lack $word"
done
grep -qi 'stops refreshing\|until it is started again' "$board" \
  && fail "PelmDp's page still says an unreadable schedule stops the board"
for status in 0 1 2 3; do
  grep -qE "^       $status +[a-z]" "$scratch/pelmctl.txt" || fail "pelmctl's EXIT STATUS lacks $status"
done

# The Japanese texts (defaults, the error box) as a reader sees them, in a
# C.UTF-8 terminal and in a Japanese one; the Japanese locale is made in
# the scratch folder, so the machine needs none of its own.
localedef -i ja_JP -f UTF-8 "$scratch/ja_JP.UTF-8" 2>/dev/null \
  || fail "localedef could not make ja_JP.UTF-8 (package locales)"
for page in PelmDp pelmctl; do
  for terminal in "LANG=C.UTF-8" "LOCPATH=$scratch LANG=ja_JP.UTF-8"; do
    # shellcheck disable=SC2086
    env -u LC_ALL -u LC_CTYPE -u LANGUAGE $terminal MANWIDTH=80 man -l "$pages/$page.1.gz" \
      >"$scratch/shown.txt" 2>/dev/null || fail "man could not show $page under $terminal"
    for word in 未接続 待機中 明朝 は時刻ではありません; do
      grep -qF "$word" "$scratch/shown.txt" || fail "$page under $terminal does not show $word"
    done
  done
done
grep -q '?????' "$scratch/pelmctl.txt" && fail "pelmctl's page has question marks where text should be"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "ok: PelmDp and pelmctl ($(echo $commands | wc -w) commands) render cleanly"
