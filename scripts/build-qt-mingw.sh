#!/usr/bin/env bash
# Finds the Qt 6 for 64-bit Windows (MinGW-w64) the Windows build uses, and builds it when
# there is none; prints its prefix as the last line. Looks, in this order, at
#   TORVANE_QT_MINGW (a prefix; an error when it holds no Qt),
#   the shared folder beside the checkout (../shared/windows/qt6-mingw, or
#     $TORVANE_SHARED_WINDOWS/qt6-mingw),
#   the cache: ${XDG_CACHE_HOME:-~/.cache}/torvane/qt6-mingw-<host Qt version>,
# the same order as cmake/mingw-w64-x86_64.cmake. Otherwise it builds Qt Core, Gui and Widgets
# from Debian's qt6-base source package of the host Qt's version into that cache folder, outside
# the tree (about 32 minutes on 2 cores, a 46 MB download, 79 MB installed).
#   build-qt-mingw.sh            find, else build
#   build-qt-mingw.sh --check    find, else say what would be built (exit 3); builds nothing
# Needs: g++-mingw-w64-x86-64-posix, cmake, ninja-build, qt6-base-dev, qt6-base-dev-tools (moc,
# rcc and uic of the same version), xz-utils; root for apt-get (a private source list: the
# system's apt configuration is not changed).
set -euo pipefail
# shellcheck source=debian-source-mingw.sh
source "$(dirname "$0")/debian-source-mingw.sh"
repo=$(cd "$(dirname "$0")/.." && pwd)
check_only=0
[ "${1:-}" = "--check" ] && check_only=1
say() { echo "build-qt-mingw: $*" >&2; }
has_qt() { [ -f "$1/lib/cmake/Qt6/Qt6Config.cmake" ]; }

if [ -n "${TORVANE_QT_MINGW:-}" ]; then
  has_qt "$TORVANE_QT_MINGW" || { say "TORVANE_QT_MINGW=$TORVANE_QT_MINGW holds no Qt (no lib/cmake/Qt6/Qt6Config.cmake)"; exit 1; }
  cd "$TORVANE_QT_MINGW" && pwd && exit 0
fi
if [ -n "${TORVANE_SHARED_WINDOWS+set}" ]; then
  shared=("$TORVANE_SHARED_WINDOWS/qt6-mingw")
else
  shared=("$repo/../shared/windows/qt6-mingw" "$repo/../../shared/windows/qt6-mingw")
fi
for candidate in "${shared[@]}"; do
  has_qt "$candidate" && { cd "$candidate" && pwd; exit 0; }
done

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
[ -n "$host_version" ] || { say "qt6-base-dev is not installed: its moc, rcc and uic are needed (scripts/install-deps.sh)"; exit 1; }
upstream=${host_version#*:}; upstream=${upstream%%[+-]*}
prefix="${XDG_CACHE_HOME:-$HOME/.cache}/torvane/qt6-mingw-$upstream"
if has_qt "$prefix"; then echo "$prefix"; exit 0; fi

if [ "$check_only" = 1 ]; then
  say "no Qt for MinGW-w64: would build it from Debian's qt6-base $host_version into $prefix (about 32 minutes on 2 cores)"
  exit 3
fi

say "no Qt for MinGW-w64 yet: building it from Debian's qt6-base $host_version into $prefix (about 32 minutes on 2 cores)"
work="${prefix}.build"
staging="${prefix}.partial"  # renamed to $prefix only once complete: a cut-off build is never taken for one
rm -rf "$work" "$staging"
mkdir -p "$work"
cd "$work"
debian_source_list
# The host's version exactly, else the archive's of the same Qt version: the code generators
# must match the libraries.
apt-get "${apt_options[@]}" source --download-only "qt6-base=$host_version" ||
  apt-get "${apt_options[@]}" source --download-only qt6-base
tar -xJf qt6-base_*.orig.tar.xz
src=$(ls -d qtbase-everywhere-src-*)
[ "$src" = "qtbase-everywhere-src-$upstream" ] || { say "the archive has $src, the host Qt is $upstream"; exit 1; }
host_version=$(ls qt6-base_*.dsc | sed 's/^qt6-base_\(.*\)\.dsc$/\1/')
# Qt 6.4.2 with OpenGL off: the windows platform plugin uses its dynamic-GL code unguarded.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$src/src/plugins/platforms/windows/qwindowswindow.cpp"

# The toolchain Qt is built with: the project's compilers and -static executables, without the
# project's own definitions (WIN32_LEAN_AND_MEAN, NOMINMAX), which Qt's sources do not expect.
mingw_toolchain_start toolchain.cmake
cat >>toolchain.cmake <<'TOOLCHAIN'
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00")
find_program(WINE_EXECUTABLE NAMES wine)
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${WINE_EXECUTABLE}")
endif()
TOOLCHAIN

# Core, Gui and Widgets with the windows and offscreen platforms, the Windows style and UI
# Automation; the dfsg tarball lacks wintab and sqlite, so tablet events and SQL are off.
cmake -S "$src" -B qtbuild -G Ninja --toolchain "$work/toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$staging" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_testlib=OFF -DFEATURE_vulkan=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_glib=OFF -DFEATURE_icu=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_system_libb2=OFF
ninja -C qtbuild -j "${QT_BUILD_JOBS:-2}"
cmake --install qtbuild
# Which source it came from, for the notices that ship with the program.
echo "qt6-base $host_version" >"$staging/torvane-qt-source.txt"
has_qt "$staging" || { say "the build installed no Qt into $staging"; exit 1; }
rm -rf "$prefix"
mv "$staging" "$prefix"
cd / && rm -rf "$work"
say "Qt for MinGW-w64 in $prefix"
echo "$prefix"
