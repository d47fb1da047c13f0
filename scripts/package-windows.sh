#!/usr/bin/env bash
# Packs the Windows build for users: a zip of one folder (the program, the Qt and runtime DLLs it
# needs, stripped, with the licence, the third-party notices and a README), and the per-user
# setup program made by CPack's NSIS generator from the same install rules.
#   package-windows.sh [build dir (default build/mingw)]
#     -> <build dir>/torvane-capture-<version>-windows-x64.zip
#        <build dir>/torvane-capture-<version>-windows-x64-setup.exe
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mingw}
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[ -f "$build/CMakeCache.txt" ] || { echo "package-windows: configure $build first (cmake --preset mingw)" >&2; exit 1; }
grep -q '^TORVANE_WITH_QT:BOOL=ON' "$build/CMakeCache.txt" ||
  { echo "package-windows: $build was configured without a Qt for MinGW" >&2; exit 1; }
version=$(cache_value CMAKE_PROJECT_VERSION)
cmake --build "$build" --target torvane-capture windows_package_files >/dev/null

stage="$build/package/torvane-capture"
rm -rf "$build/package"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
# Unpacking an update over the old folder must be able to replace every file: nothing
# read-only (zip keeps the mode, and Windows reads the owner's write bit as the read-only flag).
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +

zipfile="$build/torvane-capture-$version-windows-x64.zip"
rm -f "$zipfile"
# -X: no Unix owner or extra time fields; names in a fixed order.
(cd "$build/package" && find torvane-capture -print | LC_ALL=C sort | zip -q -X -D "../$(basename "$zipfile")" -@)
echo "$zipfile"

(cd "$build" && cpack -G NSIS >/dev/null)
echo "$build/torvane-capture-$version-windows-x64-setup.exe"
