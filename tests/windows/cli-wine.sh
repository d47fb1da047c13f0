#!/usr/bin/env bash
# The packaged program's command line under Wine on an X server. It is a window program, so
# --help, --version and a mistyped option must still reach the user: written to redirected
# output, to the console of the shell that started it, or else shown in a message box; with
# the exit codes of the Linux build (0, and 2 for a command line it cannot read).
#   cli-wine.sh <folder holding torvane-capture.exe> <version>   (WINEPREFIX and DISPLAY set by the caller)
set -euo pipefail
exe="$(cd "$1" && pwd)/torvane-capture.exe"
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "cli-wine: FAIL: $*" >&2; failures=$((failures + 1)); }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
unix_text() { tr -d '\r' <"$1"; }
# What the program wrote to standard error, without Wine's own notices (its launcher's note about
# 32-bit support, and the debug channels of a session that is still starting).
program_stderr() {
  tr -d '\r' <"$1" | grep -v -E '^[0-9a-f]{4}:(err|fixme|warn|trace):|wine32|multiarch needs|dpkg --add-architecture|apt-get install wine32' || true
}
export WINEDEBUG=-all
# A new prefix is filled by the first Wine process, which reports that on standard error.
wine cmd /c exit >/dev/null 2>&1 || true

# Redirected: the text goes to the file or pipe, UTF-8, nothing else on the other stream.
status=0; wine "$exe" --version >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "--version exited with $status"
[ "$(unix_text "$work/out")" = "torvane-capture $version" ] || fail "--version printed: $(unix_text "$work/out")"
[ -z "$(program_stderr "$work/err")" ] || fail "--version wrote to standard error: $(program_stderr "$work/err")"

status=0; wine "$exe" --help 2>/dev/null | tr -d '\r' >"$work/out" || status=$?
grep -q '^Usage: torvane-capture \[options\]' "$work/out" || fail "--help through a pipe printed no usage"
grep -q -- '--capture-dir <dir>' "$work/out" || fail "--help does not list --capture-dir"

status=0; wine "$exe" --bogus >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exited with $status, not 2"
[ ! -s "$work/out" ] || fail "an unknown option wrote to standard output"
grep -q "torvane-capture: unknown option '--bogus'" "$work/err" || fail "an unknown option said: $(unix_text "$work/err")"

status=0; wine "$exe" stray >/dev/null 2>"$work/err" || status=$?
[ "$status" -eq 2 ] || fail "a stray argument exited with $status, not 2"
grep -q "unexpected argument 'stray'" "$work/err" || fail "a stray argument said: $(unix_text "$work/err")"

# Typed in a console: cmd in a terminal shows the text.
script -qec "wine cmd /c \"$(winepath -w "$exe")\" --version" /dev/null </dev/null >"$work/console" 2>&1 || true
grep -qF "torvane-capture $version" "$work/console" || fail "--version typed in a console showed: $(tr -d '\r\033' <"$work/console")"

# Started as Explorer starts it (no console, no redirection): a message box says it, and the
# exit code is the same once the box is closed.
message_box() {  # message_box <expected exit code> <arguments...>
  local expected=$1; shift
  local box="" status=0
  wine start /wait /unix "$exe" "$@" >/dev/null 2>&1 &
  local pid=$!
  find_box() { box=$(xdotool search --name '^torvane-capture$' 2>/dev/null | head -n1); [ -n "$box" ]; }
  if wait_for 60 find_box; then
    xdotool key --window "$box" Return 2>/dev/null || true
  else
    fail "no message box for $*"
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" || status=$?
  [ "$status" -eq "$expected" ] || fail "$* from a message box exited with $status, not $expected"
}
message_box 0 --version
message_box 2 --bogus

[ "$failures" -eq 0 ] || { echo "cli-wine: $failures failure(s)" >&2; exit 1; }
echo "cli-wine: --help, --version and command-line errors reach pipes, a console and a message box with exit codes 0 and 2"
