#!/usr/bin/env bash
# Where the Windows build takes its workbook library for MinGW from.
# scripts/build-xlsxwriter-mingw.sh --check: the prefix in TORVANE_XLSXWRITER_MINGW, else the
# cache, else "would build" (exit 3), and an error for a TORVANE_XLSXWRITER_MINGW without the
# library. The toolchain file: a build folder configured while there was no library takes it as
# soon as it is there.
#   xlsxwriter-locate-test.sh <a real library prefix>
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
real=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "xlsxwriter-locate-test: FAIL: $*" >&2; failures=$((failures + 1)); }
fake_library() { mkdir -p "$1/include" "$1/lib" && : >"$1/include/xlsxwriter.h" && : >"$1/lib/libxlsxwriter.a"; }
locate() {  # locate [VAR=value...]: prints "<exit code> <last line of output>"
  local status=0 out
  out=$(env -u TORVANE_XLSXWRITER_MINGW XDG_CACHE_HOME="$work/cache" "$@" \
        bash "$repo/scripts/build-xlsxwriter-mingw.sh" --check 2>"$work/err") || status=$?
  echo "$status ${out##*$'\n'}"
}
host=$(dpkg-query -W -f='${Version}' libxlsxwriter-dev)
source_version=${host%%+b[0-9]*}
cached="$work/cache/torvane/xlsxwriter-mingw-${source_version#*:}"

[ "$(locate)" = "3 " ] || fail "with no library anywhere: $(locate)"
grep -qF "would build it from Debian's libxlsxwriter $source_version into $cached" "$work/err" || fail "no word of the build: $(cat "$work/err")"
[ ! -e "$work/cache" ] || fail "--check created $work/cache"
mkdir -p "$cached.partial/include"  # a cut-off build is not taken for one
[ "$(locate)" = "3 " ] || fail "a cut-off build was taken: $(locate)"
fake_library "$cached"
[ "$(locate)" = "0 $cached" ] || fail "the cached library was not taken: $(locate)"
fake_library "$work/mine"
[ "$(locate TORVANE_XLSXWRITER_MINGW="$work/mine")" = "0 $work/mine" ] || fail "TORVANE_XLSXWRITER_MINGW does not come first"
[ "$(locate TORVANE_XLSXWRITER_MINGW="$work/nothing-here" | cut -d' ' -f1)" = 1 ] ||
  fail "a TORVANE_XLSXWRITER_MINGW without the library was not an error"

# The toolchain: configured without the library, then again once TORVANE_XLSXWRITER_MINGW names one.
configure() {
  env -u TORVANE_XLSXWRITER_MINGW -u TORVANE_QT_MINGW TORVANE_SHARED_WINDOWS="$work/none" XDG_CACHE_HOME="$work/no-cache" "$@" \
    cmake -S "$repo" -B "$work/build" -G Ninja --toolchain "$repo/cmake/mingw-w64-x86_64.cmake" \
    -DBUILD_TESTING=OFF -DTORVANE_BENCH=OFF >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; return 1; }
}
with_export() { grep -q '^TORVANE_XLSX:INTERNAL=ON' "$work/build/CMakeCache.txt"; }
configure || fail "configuring without the library failed"
with_export && fail "configured without the library, the export is still built in"
configure TORVANE_XLSXWRITER_MINGW="$real" || fail "configuring again with TORVANE_XLSXWRITER_MINGW failed"
with_export || fail "a build folder configured without the library ignores TORVANE_XLSXWRITER_MINGW set later"

[ "$failures" -eq 0 ] || { echo "xlsxwriter-locate-test: $failures failure(s)" >&2; exit 1; }
echo "xlsxwriter-locate-test: TORVANE_XLSXWRITER_MINGW, cache, build; a build folder picks up a library that appears later"
