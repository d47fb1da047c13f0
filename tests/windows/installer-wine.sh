#!/usr/bin/env bash
# The setup program under Wine, run by unit-on-com5.sh in a fresh prefix (the simulated unit on
# COM5): its pages, walked as a user does, are worded for this program (no "Setup Setup", no
# stock text about system files and restarting) and the licence page names the source archive;
# a silent install over that (an update in place) for the current user puts the program, its
# Start-menu entry, its Apps entry (uninstall key) and its "Open with" entry for .csv in place; the
# installed program finds the unit on COM5 and records, and the "Open with" command opens the
# recorded session; a silent uninstall removes the program, the entries and the key, and keeps
# the recorded session. Neither setup nor the uninstaller touches the files of a running program.
#   installer-wine.sh <setup.exe> <version> <artifact dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup=$1 version=$2 artifacts=$3
failures=0
fail() { echo "installer-wine: FAIL: $*" >&2; failures=$((failures + 1)); }
stop() { echo "installer-wine: FAIL: $*" >&2; exit 1; }
wait_for() {  # wait_for <seconds> <command...>
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
windows_folder() { winepath -u "$(wine cmd /c echo "%$1%" | tr -d '\r')"; }
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\torvane-capture'
key_value() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }

local_appdata=$(windows_folder LOCALAPPDATA)
appdata=$(windows_folder APPDATA)
program="$local_appdata/Programs/torvane-capture"
shortcut="$appdata/Microsoft/Windows/Start Menu/Programs/Torvane Throttle Setup.lnk"
captures="$appdata/torvane/Torvane Throttle Setup/captures"
[ ! -e "$program" ] || stop "the prefix is not fresh: $program exists"

# The pages, read and clicked through by a helper of the Windows build (beside the setup).
texts_helper="$(dirname "$setup")/tests/windows/window-texts.exe"
[ -f "$texts_helper" ] || stop "no $texts_helper (build the mingw preset)"
caption="Install Torvane Throttle Setup $version"
page=""
read_page() { page=$(wine "$texts_helper" dump "$caption" 2>/dev/null | tr -d '\r'); }
page_says() { read_page && grep -qF "$1" <<<"$page"; }
click() { wine "$texts_helper" click "$caption" "$1" >/dev/null 2>&1 || fail "no \"$1\" button on: $page"; }
check_wording() {  # check_wording <page> <texts it must show...>
  local name=$1; shift
  printf '== %s page\n%s\n' "$name" "$page" >>"$artifacts/setup-pages.txt"
  for text in "$@"; do grep -qF "$text" <<<"$page" || fail "the $name page lacks \"$text\": $page"; done
  for text in 'Setup Setup' 'system files' 'reboot' 'restart'; do
    grep -qiF "$text" <<<"$page" && fail "the $name page says \"$text\": $page"
  done
  return 0
}
mkdir -p "$artifacts"
rm -f "$artifacts/setup-pages.txt"
wine "$setup" >/dev/null 2>&1 &
walk=$!
if wait_for 90 page_says "Click Next to continue"; then
  check_wording welcome "$caption" "Install Torvane Throttle Setup $version" "installed for you alone"
  click "Next >"
  wait_for 30 page_says "GNU GPL" || fail "no licence page after the welcome page: $page"
  check_wording licence "torvane-capture-$version-source.tar.gz" "GNU GENERAL PUBLIC LICENSE"
  click "Next >"
  wait_for 30 page_says "Browse" || fail "no folder page after the licence page: $page"
  check_wording folder "will be installed in the folder below"
  click "Install"
  wait_for 120 page_says "Torvane Throttle Setup is installed" || fail "no finish page after installing: $page"
  check_wording finish "Click Finish to close this installer"
  click "Start Torvane Throttle Setup"  # unticked: the program is started later, by this test
  click "Finish"
  wait "$walk" || fail "the installer, walked through its pages, exited with $?"
else
  fail "the installer showed no welcome page: $page"
  kill "$walk" 2>/dev/null || true
fi

status=0; wine "$setup" /S || status=$?
[ "$status" -eq 0 ] || stop "silent install exited with $status"
for file in torvane-capture.exe torvane-capture.com Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
            libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt Uninstall.exe; do
  [ -f "$program/$file" ] || fail "not installed: $file"
done
[ -f "$shortcut" ] || fail "no Start-menu entry"
grep -aq 't.o.r.v.a.n.e.-.c.a.p.t.u.r.e...e.x.e\|torvane-capture\.exe' "$shortcut" 2>/dev/null || fail "the Start-menu entry does not start torvane-capture.exe"
[ "$(key_value DisplayName)" = "Torvane Throttle Setup" ] || fail "Apps entry name: '$(key_value DisplayName)'"
[ "$(key_value DisplayVersion)" = "$version" ] || fail "Apps entry version: '$(key_value DisplayVersion)'"
[ "$(key_value Publisher)" = "The torvane-capture developers" ] || fail "Apps entry publisher: '$(key_value Publisher)'"
[[ "$(key_value DisplayIcon)" == *'\torvane-capture.exe,0' ]] || fail "Apps entry icon: '$(key_value DisplayIcon)'"
[[ "$(key_value UninstallString)" == *'\Uninstall.exe"' ]] || fail "Apps entry uninstaller: '$(key_value UninstallString)'"
# "Open with" lists the program for .csv files, which stay with whatever program has them.
open_with='HKCU\Software\Classes\Applications\torvane-capture.exe'
wine reg query "$open_with\SupportedTypes" /v .csv >/dev/null 2>&1 || fail "no Open-with entry for .csv"
wine reg query "$open_with\shell\open\command" /ve 2>/dev/null | tr -d '\r' | grep -qF 'torvane-capture.exe" "%1"' ||
  fail "the Open-with command: $(wine reg query "$open_with\shell\open\command" /ve 2>&1 | tr -d '\r')"
wine reg query 'HKCU\Software\Classes\.csv' 2>/dev/null | grep -qi torvane && fail "setup took the .csv type"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\torvane-capture' >/dev/null 2>&1 &&
  fail "setup wrote to HKEY_LOCAL_MACHINE (needs administrator rights)"

# The installed program finds the unit, captures and records.
bash "$here/smoke-wine.sh" "$program" "$artifacts" || fail "the installed program did not capture from the unit on COM5"
sessions=$(find "$captures" -name '*.csv' 2>/dev/null | wc -l)
[ "$sessions" -ge 1 ] || fail "no session recorded in $captures"

# "Open with" runs the registered command with the file named: the recorded session opens in its
# window, as with --open.
command=$(wine reg query "$open_with\shell\open\command" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')
registered=$(sed -n 's/^"\([^"]*\)" "%1"$/\1/p' <<<"$command")
recorded=$(find "$captures" -name '*.csv' 2>/dev/null | head -n1)
if [ -z "$registered" ]; then
  fail "the Open-with command is not \"<program>\" \"%1\": $command"
elif [ -z "$recorded" ]; then
  fail "no recorded session to open with the Open-with command"
else
  [ "$(winepath -u "$registered")" -ef "$program/torvane-capture.exe" ] || fail "the Open-with command starts $registered"
  wine "$(winepath -u "$registered")" "$(winepath -w "$recorded")" >/dev/null 2>&1 &
  opened=$!
  session_title="Session $(basename "$recorded")"
  session_shown() { xdotool search --name '^Session ' getwindowname %@ 2>/dev/null | grep -qxF "$session_title"; }
  wait_for 60 session_shown || fail "the Open-with command showed no window \"$session_title\""
  wine taskkill /im torvane-capture.exe >/dev/null 2>&1 || true
  wait "$opened" || true
  wait_for 30 bash -c "! xdotool search --name '^Session ' >/dev/null 2>&1" || fail "the session window stayed after the program was closed"
fi

# While the program runs, neither setup nor the uninstaller touches its files: both stop
# (silently: exit code 2). The uninstaller runs in place (_?=) so that its exit code is its own.
wine "$program/torvane-capture.exe" >/dev/null 2>&1 &
running=$!
if wait_for 60 bash -c "xdotool search --name '^Torvane Data Capture on Channel 25$' >/dev/null 2>&1"; then
  status=0; wine "$setup" /S || status=$?
  [ "$status" -eq 2 ] || fail "setup over the running program exited with $status, not 2"
  status=0; wine "$program/Uninstall.exe" /S "_?=$(winepath -w "$program")" || status=$?
  [ "$status" -eq 2 ] || fail "uninstalling the running program exited with $status, not 2"
  [ -f "$program/Qt6Core.dll" ] && [ -f "$program/torvane-capture.exe" ] || fail "files were removed from under the running program"
  wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall key went while the program ran"
else
  fail "the installed program showed no window"
fi
wine taskkill /im torvane-capture.exe >/dev/null 2>&1 || true  # a polite close, as from the taskbar
wait "$running" || true

status=0; wine "$program/Uninstall.exe" /S || status=$?
[ "$status" -eq 0 ] || fail "silent uninstall exited with $status"
# The uninstaller runs from a copy in the temporary folder, so it ends after the call returns.
wait_for 120 test ! -e "$program" || fail "the program folder remains: $(cd "$program" && find . -type f | head)"
wait_for 60 bash -c "! wine reg query '$key' >/dev/null 2>&1" || fail "the uninstall key remains"
wait_for 60 bash -c "! wine reg query '$open_with' >/dev/null 2>&1" || fail "the Open-with entry remains"
[ ! -e "$shortcut" ] || fail "the Start-menu entry remains"
[ "$(find "$captures" -name '*.csv' 2>/dev/null | wc -l)" -eq "$sessions" ] || fail "the uninstaller touched the recorded sessions"

[ "$failures" -eq 0 ] || { echo "installer-wine: $failures failure(s)" >&2; exit 1; }
echo "installer-wine: installed for the user, started and captured from COM5, uninstalled; $sessions recorded session(s) kept"
