#!/usr/bin/env bash
# Packs the Windows build for users: a zip of one folder (the program, the Qt and runtime DLLs it
# needs, stripped, with the licence, the third-party notices and a README), the per-user setup
# program made by CPack's NSIS generator from the same install rules, and beside them the
# program's own source, which the GPL has the object code come with.
#   package-windows.sh [build dir (default build/mingw)]
#     -> <build dir>/torvane-capture-<version>-windows-x64.zip
#        <build dir>/torvane-capture-<version>-windows-x64-setup.exe
#        <build dir>/torvane-capture-<version>-source.tar.gz
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mingw}
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
[ -f "$build/CMakeCache.txt" ] || { echo "package-windows: configure $build first (cmake --preset mingw)" >&2; exit 1; }
grep -q '^TORVANE_WITH_QT:BOOL=ON' "$build/CMakeCache.txt" ||
  { echo "package-windows: $build was configured without a Qt for MinGW" >&2; exit 1; }
version=$(cache_value CMAKE_PROJECT_VERSION)
cmake --build "$build" --target torvane-capture torvane-capture-console windows_package_files >/dev/null

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

# The tracked files as they are in the tree (edits not yet committed included), in one folder
# named after the version; outside a git checkout (an unpacked source archive), the tree without
# its build folders. Same tree, same bytes.
source_archive="$build/torvane-capture-$version-source.tar.gz"
prefix="torvane-capture-$version/"
rm -f "$source_archive"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  tree=$(git stash create 2>/dev/null || true)
  git archive --format=tar --prefix="$prefix" "${tree:-HEAD}" | gzip -n -9 >"$source_archive"
else
  tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 --exclude=./build --exclude=./.git \
      --transform="s|^\./|$prefix|" -cf - . | gzip -n -9 >"$source_archive"
fi
echo "$source_archive"
