#!/usr/bin/env bash
# Runs a command in a Wine session whose COM5 is the simulated unit on a pseudo-terminal.
#   unit-on-com5.sh <unit-sim> <work dir> [unit-sim options...] -- <command...>
# The pseudo-terminals live in a private devpts (another program on the machine cannot open
# them), the Wine session has its own prefix and server inside that mount namespace, and a
# preloaded shim gives the pseudo-terminal the modem lines Wine waits on. When the command
# prints a line "unplug-unit", the unit is stopped: its side of the line closes. A second shim
# fails the port's calls with error 5 while the file the command names in
# TORVANE_PORT_FAULT_TRIGGER exists (a USB adapter's driver after a pull).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sim=$1 work=$2
shift 2
sim_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do sim_args+=("$1"); shift; done
shift || true
[ $# -gt 0 ] || { echo "usage: unit-on-com5.sh <unit-sim> <work dir> [options] -- <command...>" >&2; exit 2; }
[ -x "$sim" ] || { echo "unit-on-com5: no simulated unit at '$sim' (the Linux build's unit-sim; -DTORVANE_HOST_UNIT_SIM=<path>)" >&2; exit 2; }

if [ -z "${TORVANE_PRIVATE_PTS:-}" ]; then
  exec env TORVANE_PRIVATE_PTS=1 unshare -m --propagation private bash "$0" "$sim" "$work" "${sim_args[@]}" -- "$@"
fi
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts /dev/pts
mount --bind /dev/pts/ptmx /dev/ptmx

mkdir -p "$work"
work=$(cd "$work" && pwd)
cc -shared -fPIC -O2 -o "$work/modem_lines_shim.so" "$here/modem_lines_shim.c" -ldl
cc -shared -fPIC -O2 -o "$work/port_fault_shim.so" "$here/port_fault_shim.c" -ldl

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
link="$work/com5"
export TORVANE_UNIT_LOG="$work/unit.log"
cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

"$sim" --link "$link" "${sim_args[@]}" >"$work/unit.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.1; done
[ -L "$link" ] || { echo "unit-on-com5: the simulated unit did not start" >&2; cat "$work/unit.log" >&2; exit 1; }

# COM5 is read from the registry when the session starts, so it is set, then the session restarted.
wineserver -k 2>/dev/null || true
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$link" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
export LD_PRELOAD="$work/modem_lines_shim.so:$work/port_fault_shim.so" TORVANE_PORT_FAULT_DEVICE="$link"
wineserver -p
wine cmd /c exit >/dev/null 2>&1

set +e
"$@" | while IFS= read -r line; do
  printf '%s\n' "$line"
  if [ "${line%$'\r'}" = "unplug-unit" ]; then kill -TERM "$sim_pid" 2>/dev/null || true; fi
done
status=${PIPESTATUS[0]}
set -e
echo "--- unit log"; cat "$work/unit.log"
exit "$status"
