#!/usr/bin/env bash
# Finds the workbook library (libxlsxwriter) for 64-bit Windows (MinGW-w64) the Windows build
# uses, and builds it when there is none; prints its prefix as the last line. Looks, in this
# order, at
#   TORVANE_XLSXWRITER_MINGW (a prefix; an error when it holds no library),
#   the cache: ${XDG_CACHE_HOME:-~/.cache}/torvane/xlsxwriter-mingw-<Debian version of the host's>,
# the same order as cmake/mingw-w64-x86_64.cmake. Otherwise it builds the library from Debian's
# libxlsxwriter source package of the host's libxlsxwriter-dev version (its checksums checked
# against the archive's signed index and by dpkg-source), static, against Debian's zlib for
# MinGW-w64, into that cache folder, outside the tree (30 to 45 seconds on 2 shared cores, a 20 MB
# download, 1 MB installed).
#   build-xlsxwriter-mingw.sh            find, else build
#   build-xlsxwriter-mingw.sh --check    find, else say what would be built (exit 3); builds nothing
# The options follow Debian's debian/rules where Windows has the same: Debian's build takes the
# system's minizip and OpenSSL's MD5, which Debian has no MinGW-w64 builds of, so this one uses
# the copies in the source package (their licences are in the notices the program ships). One
# change: the library's own UTF-8 to UTF-16 file names for Windows, which its sources leave out
# for MinGW, are used, so a workbook's path may hold any character.
# Needs: g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev, cmake, ninja-build, dpkg-dev,
# libxlsxwriter-dev (its version is the one built); root for apt-get (a private source list: the
# system's apt configuration is not changed).
set -euo pipefail
# shellcheck source=debian-source-mingw.sh
source "$(dirname "$0")/debian-source-mingw.sh"
check_only=0
[ "${1:-}" = "--check" ] && check_only=1
say() { echo "build-xlsxwriter-mingw: $*" >&2; }
has_lib() { [ -f "$1/include/xlsxwriter.h" ] && [ -f "$1/lib/libxlsxwriter.a" ]; }

if [ -n "${TORVANE_XLSXWRITER_MINGW:-}" ]; then
  has_lib "$TORVANE_XLSXWRITER_MINGW" || { say "TORVANE_XLSXWRITER_MINGW=$TORVANE_XLSXWRITER_MINGW holds no library (no include/xlsxwriter.h, lib/libxlsxwriter.a)"; exit 1; }
  cd "$TORVANE_XLSXWRITER_MINGW" && pwd && exit 0
fi

host_version=$(dpkg-query -W -f='${Version}' libxlsxwriter-dev 2>/dev/null || true)
[ -n "$host_version" ] || { say "libxlsxwriter-dev is not installed: its version is the one built (scripts/install-deps.sh)"; exit 1; }
# 1.1.4-2+b1 is a binary rebuild of the source 1.1.4-2.
source_version=${host_version%%+b[0-9]*}
prefix="${XDG_CACHE_HOME:-$HOME/.cache}/torvane/xlsxwriter-mingw-${source_version#*:}"
if has_lib "$prefix"; then echo "$prefix"; exit 0; fi

if [ "$check_only" = 1 ]; then
  say "no libxlsxwriter for MinGW-w64: would build it from Debian's libxlsxwriter $source_version into $prefix (under a minute)"
  exit 3
fi
[ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || { say "libz-mingw-w64-dev is not installed (scripts/install-deps.sh)"; exit 1; }

say "no libxlsxwriter for MinGW-w64 yet: building it from Debian's libxlsxwriter $source_version into $prefix"
work="${prefix}.build"
staging="${prefix}.partial"  # renamed to $prefix only once complete: a cut-off build is never taken for one
rm -rf "$work" "$staging"
mkdir -p "$work"
cd "$work"
debian_source_list
apt-get -q "${apt_options[@]}" source --download-only "libxlsxwriter=$source_version" >/dev/null
# dpkg-source checks the files against the .dsc's checksums again while unpacking (the .dsc's own
# signature it cannot check without Debian's developer keys; the archive's index vouches for it).
dpkg-source -x "libxlsxwriter_${source_version#*:}.dsc" src >dpkg-source.log 2>&1 || { cat dpkg-source.log >&2; exit 1; }

# MinGW is a Windows target: the library's Windows file names (UTF-8 turned into UTF-16 for
# _wfopen and minizip's Win32 file functions) instead of the narrow fopen, which takes the
# ANSI code page.
sed -i '/^#ifdef __MINGW32__$/,/^#endif$/d' src/src/packager.c src/src/utility.c
! grep -q '__MINGW32__' src/src/packager.c src/src/utility.c || { say "the MinGW exclusion was not removed"; exit 1; }
sed -i 's|^    if(MSVC)$|    if(WIN32)|' src/CMakeLists.txt
grep -q -A1 '^    if(WIN32)$' src/CMakeLists.txt && grep -A1 '^    if(WIN32)$' src/CMakeLists.txt | grep -q iowin32.c ||
  { say "minizip's Win32 file functions are not in the build"; exit 1; }

mingw_toolchain_start toolchain.cmake
cat >>toolchain.cmake <<'TOOLCHAIN'
# The static zlib: the program is linked -static and ships no zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00")
TOOLCHAIN

# Debian's options, less the system minizip and OpenSSL's MD5 (see above), tests and examples.
cmake -S src -B build -G Ninja --toolchain "$work/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$staging" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DUSE_SYSTEM_MINIZIP=OFF -DUSE_OPENSSL_MD5=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
ninja -C build -j "${XLSXWRITER_BUILD_JOBS:-2}" >/dev/null
cmake --install build >/dev/null
# The licences of what is linked into the program, for its notices: the library's own, with the
# copies of third-party code built in (minizip, MD5, tmpfileplus), and Debian's record of them.
mkdir -p "$staging/share/licenses"
cp src/License.txt "$staging/share/licenses/libxlsxwriter-License.txt"
cp src/debian/copyright "$staging/share/licenses/libxlsxwriter-debian-copyright.txt"
cp /usr/share/doc/libz-mingw-w64-dev/copyright "$staging/share/licenses/zlib-debian-copyright.txt"
echo "libxlsxwriter $source_version; zlib for MinGW-w64 $(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)" \
  >"$staging/torvane-xlsxwriter-source.txt"
has_lib "$staging" || { say "the build installed no library into $staging"; exit 1; }
rm -rf "$prefix"
mv "$staging" "$prefix"
cd / && rm -rf "$work"
say "libxlsxwriter for MinGW-w64 in $prefix"
echo "$prefix"
