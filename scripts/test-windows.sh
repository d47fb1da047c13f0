#!/usr/bin/env bash
# The Windows stage, after the Linux ones: cross-build with MinGW-w64, run the tests under Wine,
# pack the zip and run the packaged window under Wine on Xvfb against the simulated unit on
# COM5. Uses the Linux build's simulated unit; needs root (the COM5 tests use a private devpts).
# The Qt for MinGW is taken from TORVANE_QT_MINGW or the shared folder beside the checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
started=$SECONDS
step() { printf '\n== %s ==\n' "$*"; }

step "Windows cross build (MinGW-w64)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
if [ ! -x build/default/tools/unit-sim/unit-sim ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target unit-sim -j "$jobs"
fi

step "tests under Wine"
# The first Wine process starts services that inherit its output, and ctest would wait for
# them after every test: start and warm the session first, end it afterwards.
export WINEPREFIX="$PWD/build/mingw/wineprefix" WINEDEBUG=-all
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
mkdir -p "$WINEPREFIX"  # the server starts in the prefix; the first wine call fills it
wineserver -p
wine cmd /c exit >/dev/null 2>&1
ctest --preset mingw -j "$jobs"
wineserver -k >/dev/null 2>&1 || true
trap - EXIT

if ! grep -q '^TORVANE_WITH_QT:BOOL=ON' build/mingw/CMakeCache.txt; then
  echo "NOTICE: no Qt for MinGW-w64 (set TORVANE_QT_MINGW): the window's zip and its Wine smoke test are skipped"
  step "Windows stage (Qt-free part) passed in $((SECONDS - started)) s"
  exit 0
fi

step "zip"
bash scripts/package-windows.sh build/mingw

step "the packaged window under Wine, against the simulated unit on COM5"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/windows/unit-on-com5.sh build/default/tools/unit-sim/unit-sim \
  build/mingw/com5 --rate 50 -- bash tests/windows/smoke-wine.sh build/mingw/package/torvane-capture \
  build/mingw/artifacts

step "Windows stage passed in $((SECONDS - started)) s"
