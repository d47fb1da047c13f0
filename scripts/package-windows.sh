#!/usr/bin/env bash
# Packs the Windows build as a zip: torvane-capture.exe, the Qt DLLs, the windows and offscreen
# platform plugins and the MinGW runtime DLLs the Qt DLLs need, in one folder.
#   package-windows.sh [build dir (default build/mingw)]   -> <build dir>/torvane-capture-<version>-windows-x64.zip
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mingw}
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
qt=$(cache_value TORVANE_QT_MINGW)
version=$(cache_value CMAKE_PROJECT_VERSION)
cxx=$(cache_value CMAKE_CXX_COMPILER)
[ -n "$qt" ] && [ -d "$qt/bin" ] || { echo "package-windows: no Qt for MinGW in $build" >&2; exit 1; }
exe="$build/app/torvane-capture.exe"
[ -f "$exe" ] || { echo "package-windows: build $exe first" >&2; exit 1; }

stage="$build/package/torvane-capture"
rm -rf "$build/package"
mkdir -p "$stage/platforms"
cp "$exe" "$stage/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$stage/platforms/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  path=$("$cxx" -print-file-name="$dll")
  [ -f "$path" ] || { echo "package-windows: $dll not found" >&2; exit 1; }
  cp "$path" "$stage/"
done

# Debug information is for the build folder, not for users.
find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-debug

zipfile="$build/torvane-capture-$version-windows-x64.zip"
rm -f "$zipfile"
(cd "$build/package" && zip -qr "../$(basename "$zipfile")" torvane-capture)
echo "$zipfile"
