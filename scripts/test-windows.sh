#!/usr/bin/env bash
# The Windows stage, after the Linux ones: the Qt for MinGW (found, or built once into the
# user's cache by scripts/build-qt-mingw.sh) and the workbook library for MinGW (likewise, by
# scripts/build-xlsxwriter-mingw.sh), the cross build, the tests under Wine, the zip and the
# setup program and their checks, the program's command line and its workbook export (against
# the Linux build's) under Wine, the packaged window and the installed one under Wine on Xvfb
# against the simulated unit on COM5. Uses the Linux build's simulated unit and program; needs
# root (the COM5 tests use a private devpts).
#   SKIP_WINDOWS=1 skips the stage (and says so); without it, a run that cannot test the
#   Windows window fails.
set -euo pipefail
cd "$(dirname "$0")/.."
step() { printf '\n== %s ==\n' "$*"; }
if [ -n "${SKIP_WINDOWS:-}" ]; then
  step "Windows stage skipped (SKIP_WINDOWS=1): no cross build, Wine tests, zip or setup program"
  exit 0
fi
bash scripts/install-deps.sh
jobs=$(nproc)
started=$SECONDS

step "Qt for MinGW-w64"
qt=$(bash scripts/build-qt-mingw.sh | tail -n1)
echo "$qt"

step "the workbook library for MinGW-w64"
library_started=$SECONDS
xlsx=$(bash scripts/build-xlsxwriter-mingw.sh | tail -n1)
echo "$xlsx ($((SECONDS - library_started)) s)"

step "the Linux build's simulated unit and program (the workbooks the Windows build's are compared with)"
cmake --preset default >/dev/null
cmake --build --preset default --target unit-sim torvane-capture -j "$jobs"
unit_sim="$PWD/build/default/tools/unit-sim/unit-sim"

step "Windows cross build (MinGW-w64)"
cmake --preset mingw -DTORVANE_QT_MINGW="$qt" -DTORVANE_XLSXWRITER_MINGW="$xlsx" -DTORVANE_HOST_UNIT_SIM="$unit_sim" >/dev/null
grep -q '^TORVANE_WITH_QT:BOOL=ON' build/mingw/CMakeCache.txt || { echo "the mingw build did not take the Qt in $qt" >&2; exit 1; }
grep -q '^TORVANE_XLSX:INTERNAL=ON' build/mingw/CMakeCache.txt || { echo "the mingw build did not take the workbook library in $xlsx" >&2; exit 1; }
cmake --build --preset mingw -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' build/mingw/CMakeCache.txt)

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

step "where the Qt for MinGW comes from"
bash tests/windows/qt-locate-test.sh "$qt"

step "where the workbook library for MinGW comes from"
bash tests/windows/xlsxwriter-locate-test.sh "$xlsx"

step "zip and setup program"
bash scripts/package-windows.sh build/mingw
bash tests/windows/check-package.sh build/mingw

step "the program's command line under Wine"
rm -rf build/mingw/cli-test
WINEPREFIX="$PWD/build/mingw/cli-test" xvfb-run -a -s "-screen 0 1024x768x24" \
  bash -c 'trap "wineserver -k >/dev/null 2>&1 || true" EXIT; bash tests/windows/cli-wine.sh "$@"' _ \
  build/mingw/package/torvane-capture "$version"

step "the workbook export under Wine, against the Linux build's"
rm -rf build/mingw/workbook-test
WINEPREFIX="$PWD/build/mingw/workbook-test/prefix" \
  bash -c 'trap "wineserver -k >/dev/null 2>&1 || true" EXIT; bash tests/windows/workbook-wine.sh "$@"' _ \
  build/mingw/package/torvane-capture build/default/app/torvane-capture build/mingw/workbook-test

step "the packaged window under Wine, against the simulated unit on COM5"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/windows/unit-on-com5.sh "$unit_sim" \
  build/mingw/com5 --rate 50 -- bash tests/windows/smoke-wine.sh build/mingw/package/torvane-capture \
  build/mingw/artifacts

step "the throttle check under Wine: a dead spot judged, kept beside the captures, found by --check"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/windows/unit-on-com5.sh "$unit_sim" \
  build/mingw/check-test --throttle 1:dead_spot --bench-user -- bash tests/windows/check-wine.sh \
  build/mingw/package/torvane-capture build/mingw/artifacts

step "the setup program under Wine: install, capture from COM5, uninstall"
rm -rf build/mingw/setup-test  # a fresh prefix
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/windows/unit-on-com5.sh "$unit_sim" \
  build/mingw/setup-test --rate 50 -- bash tests/windows/installer-wine.sh \
  "build/mingw/torvane-capture-$version-windows-x64-setup.exe" "$version" build/mingw/artifacts/setup

zip_size=$(stat -c %s "build/mingw/torvane-capture-$version-windows-x64.zip")
setup_size=$(stat -c %s "build/mingw/torvane-capture-$version-windows-x64-setup.exe")
step "Windows stage passed in $((SECONDS - started)) s (zip $((zip_size / 1024)) KiB, setup $((setup_size / 1024)) KiB)"
