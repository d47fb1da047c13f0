#!/usr/bin/env bash
# Where the Windows build takes its Qt for MinGW from. scripts/build-qt-mingw.sh --check: the
# prefix in TORVANE_QT_MINGW, else the shared folder, else the cache, else "would build"
# (exit 3), and an error for a TORVANE_QT_MINGW without Qt. The toolchain file: a build folder
# configured while there was no Qt takes it as soon as it is there.
#   qt-locate-test.sh <a real Qt for MinGW prefix>
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
real_qt=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "qt-locate-test: FAIL: $*" >&2; failures=$((failures + 1)); }
fake_qt() { mkdir -p "$1/lib/cmake/Qt6" && : >"$1/lib/cmake/Qt6/Qt6Config.cmake"; }
locate() {  # locate [VAR=value...]: prints "<exit code> <last line of output>"
  local status=0 out
  out=$(env -u TORVANE_QT_MINGW TORVANE_SHARED_WINDOWS="$work/shared" XDG_CACHE_HOME="$work/cache" "$@" \
        bash "$repo/scripts/build-qt-mingw.sh" --check 2>"$work/err") || status=$?
  echo "$status ${out##*$'\n'}"
}
host=$(dpkg-query -W -f='${Version}' qt6-base-dev)
upstream=${host#*:}; upstream=${upstream%%[+-]*}
cached="$work/cache/torvane/qt6-mingw-$upstream"

[ "$(locate)" = "3 " ] || fail "with no Qt anywhere: $(locate)"
grep -qF "would build it from Debian's qt6-base $host into $cached" "$work/err" || fail "no word of the build: $(cat "$work/err")"
[ ! -e "$work/cache" ] || fail "--check created $work/cache"

fake_qt "$cached"
[ "$(locate)" = "0 $cached" ] || fail "the cached Qt was not taken: $(locate)"
fake_qt "$work/shared/qt6-mingw"
[ "$(locate)" = "0 $work/shared/qt6-mingw" ] || fail "the shared Qt does not come before the cache: $(locate)"
fake_qt "$work/mine"
[ "$(locate TORVANE_QT_MINGW="$work/mine")" = "0 $work/mine" ] || fail "TORVANE_QT_MINGW does not come first"
[ "$(locate TORVANE_QT_MINGW="$work/nothing-here" | cut -d' ' -f1)" = 1 ] || fail "a TORVANE_QT_MINGW without Qt was not an error"

# The toolchain: configured without a Qt, then again once TORVANE_QT_MINGW names one.
configure() {
  env -u TORVANE_QT_MINGW TORVANE_SHARED_WINDOWS="$work/none" XDG_CACHE_HOME="$work/no-cache" "$@" \
    cmake -S "$repo" -B "$work/build" -G Ninja --toolchain "$repo/cmake/mingw-w64-x86_64.cmake" \
    -DBUILD_TESTING=OFF -DTORVANE_BENCH=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; return 1; }
}
window_target() { grep -q 'app/torvane-capture\.exe:' "$work/build/build.ninja"; }
configure || fail "configuring without Qt failed"
window_target && fail "configured without Qt, the window is still built"
configure TORVANE_QT_MINGW="$real_qt" || fail "configuring again with TORVANE_QT_MINGW failed"
window_target || fail "a build folder configured without Qt ignores TORVANE_QT_MINGW set later"

[ "$failures" -eq 0 ] || { echo "qt-locate-test: $failures failure(s)" >&2; exit 1; }
echo "qt-locate-test: TORVANE_QT_MINGW, shared folder, cache, build; a build folder picks up a Qt that appears later"
