#!/usr/bin/env bash
# Writes the text files that ship with the Windows build, with Windows line ends:
# LICENSE.txt, README.txt and THIRD-PARTY-NOTICES.txt. The third-party licences are taken from
# the Debian packages the Windows build is made with, so they match what ships.
#   make-texts.sh <source tree> <out dir> <version> <Qt for MinGW prefix> <its Qt version>
#                 [<workbook library for MinGW prefix>]   (none: a build without the workbook export)
set -euo pipefail
src=$1 out=$2 version=$3 qt=$4 qt_version=$5 xlsx=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "make-texts: $*" >&2; exit 1; }
crlf() { sed 's/\r*$/\r/'; }
need() { [ -s "$1" ] || fail "$1 is missing (from the Debian package $2)"; }

# The source package the Qt was built from: recorded by scripts/build-qt-mingw.sh; a Qt built
# before that script existed came from the archive's qt6-base of the host Qt's version.
if [ -s "$qt/torvane-qt-source.txt" ]; then
  qt_source=$(head -n1 "$qt/torvane-qt-source.txt")
else
  qt_source="qt6-base $(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null || echo "$qt_version")"
fi
gcc_version=$(dpkg-query -W -f='${Version}' gcc-mingw-w64-base 2>/dev/null || echo unknown)
mingw_version=$(dpkg-query -W -f='${Version}' mingw-w64-common 2>/dev/null || echo unknown)

qt_copyright=/usr/share/doc/libqt6core6/copyright
gcc_copyright=/usr/share/doc/gcc-mingw-w64-base/copyright
mingw_copyright=/usr/share/doc/mingw-w64-common/copyright
lgpl3=/usr/share/common-licenses/LGPL-3
need "$qt_copyright" libqt6core6
need "$gcc_copyright" gcc-mingw-w64-base
need "$mingw_copyright" mingw-w64-common
need "$lgpl3" base-files
need "$src/LICENSE" torvane-capture
if [ -n "$xlsx" ]; then
  xlsx_licences="$xlsx/share/licenses"
  need "$xlsx_licences/libxlsxwriter-License.txt" "libxlsxwriter (scripts/build-xlsxwriter-mingw.sh)"
  need "$xlsx_licences/libxlsxwriter-debian-copyright.txt" "libxlsxwriter (scripts/build-xlsxwriter-mingw.sh)"
  need "$xlsx_licences/zlib-debian-copyright.txt" libz-mingw-w64-dev
  need /usr/share/common-licenses/MPL-2.0 base-files
  xlsx_source=$(sed -n 's/^libxlsxwriter \([^;]*\);.*/\1/p' "$xlsx/torvane-xlsxwriter-source.txt")
  zlib_version=$(sed -n 's/.*zlib for MinGW-w64 //p' "$xlsx/torvane-xlsxwriter-source.txt")
  [ -n "$xlsx_source" ] && [ -n "$zlib_version" ] || fail "$xlsx/torvane-xlsxwriter-source.txt names no sources"
fi

mkdir -p "$out"
crlf <"$src/LICENSE" >"$out/LICENSE.txt"
sed "s/@VERSION@/$version/g" "$here/README.txt.in" | crlf >"$out/README.txt"

rule='========================================================================'
# The components are numbered first, then the full texts.
if [ -n "$xlsx" ]; then first_text=6; else first_text=4; fi
{
  cat <<TEXT
Third-party software in torvane-capture $version for Windows
$rule

torvane-capture itself is under the GNU General Public License, version 3
or later (LICENSE.txt). Its source code is torvane-capture-$version-source.tar.gz,
published beside the zip and the setup program of this version. The
software below ships with it:

1. Qt $qt_version (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll,
   platforms\\qwindows.dll, styles\\qwindowsvistastyle.dll)

   Licence: GNU Lesser General Public License, version 3 (LGPL-3), full
   text in section @LGPL@; it adds to the GNU GPL version 3, whose full text is in
   LICENSE.txt. Qt's DLLs are linked dynamically: you may replace them with
   your own build of Qt $qt_version.

   Source: Debian's source package $qt_source (the Debian archive,
   "apt-get source qt6-base", or snapshot.debian.org for that version),
   built for 64-bit Windows by scripts/build-qt-mingw.sh in torvane-capture's
   source, with one change: the windows platform plugin's dynamic-OpenGL code
   is left out, as the build has no OpenGL. Qt's own copies of third-party
   code are built into these DLLs; their notices are in Debian's copyright
   file for Qt, in section @QT@.

2. The GCC runtime libraries (libstdc++-6.dll, libgcc_s_seh-1.dll; also
   linked into torvane-capture.exe), from Debian's gcc-mingw-w64 $gcc_version

   Licence: GNU General Public License, version 3 or later, with the GCC
   Runtime Library Exception, version 3.1 (text in section @GCC@). Source:
   Debian's source package gcc-mingw-w64.

3. The MinGW-w64 runtime, from Debian's mingw-w64 $mingw_version: winpthreads
   (libwinpthread-1.dll, also linked into torvane-capture.exe) and the
   start-up code linked into every program

   Licence: winpthreads is under the MIT (expat) licence, with parts under a
   BSD licence; the start-up code under the licences listed in section @MINGW@.
   Source: Debian's source package mingw-w64.

TEXT
  if [ -n "$xlsx" ]; then
    cat <<TEXT
4. libxlsxwriter, from Debian's source package libxlsxwriter $xlsx_source (linked
   into torvane-capture.exe; it writes the workbooks of "Export to Excel")

   Licence: the FreeBSD (BSD-2-Clause) licence. Built in with it, from the
   same source package: minizip (zlib licence), an MD5 implementation
   (public domain), queue.h and tree.h (BSD licences) and tmpfileplus
   (Mozilla Public License, version 2.0; its source is the file
   third_party/tmpfileplus/tmpfileplus.c of that source package, unchanged).
   The licence texts are in section @XLSX@, the Mozilla Public License in
   section @MPL@. Built for 64-bit Windows by scripts/build-xlsxwriter-mingw.sh
   in torvane-capture's source, with one change: the library's own UTF-16
   file names for Windows (with minizip's Win32 file functions) are used
   with MinGW-w64 too.

5. zlib, from Debian's libz-mingw-w64-dev $zlib_version (linked into
   torvane-capture.exe)

   Licence: the zlib licence, in Debian's copyright file for zlib, section
   @ZLIB@. Source: Debian's source package zlib.

TEXT
  fi
  section=$first_text
  printf '%s\n%s. GNU Lesser General Public License, version 3\n%s\n\n' "$rule" $((section++)) "$rule"
  cat "$lgpl3"
  printf '\n%s\n%s. Debian'"'"'s copyright file for Qt (qt6-base), with the licences of the\n   third-party code in it\n%s\n\n' "$rule" $((section++)) "$rule"
  cat "$qt_copyright"
  printf '\n%s\n%s. Debian'"'"'s copyright file for the GCC runtime (gcc-mingw-w64), with the\n   GCC Runtime Library Exception\n%s\n\n' "$rule" $((section++)) "$rule"
  cat "$gcc_copyright"
  printf '\n%s\n%s. Debian'"'"'s copyright file for the MinGW-w64 runtime (mingw-w64), with the\n   winpthreads licence\n%s\n\n' "$rule" $((section++)) "$rule"
  cat "$mingw_copyright"
  if [ -n "$xlsx" ]; then
    printf '\n%s\n%s. libxlsxwriter'"'"'s licence and those of the code built in with it, then\n   Debian'"'"'s copyright file for libxlsxwriter\n%s\n\n' "$rule" $((section++)) "$rule"
    # The library's licence file is a page of its manual: its markup lines left out.
    grep -v -E '^(/\*\*|\*/|@page |Next: @ref )' "$xlsx_licences/libxlsxwriter-License.txt"
    printf '\n'
    cat "$xlsx_licences/libxlsxwriter-debian-copyright.txt"
    printf '\n%s\n%s. Mozilla Public License, version 2.0 (tmpfileplus in libxlsxwriter)\n%s\n\n' "$rule" $((section++)) "$rule"
    cat /usr/share/common-licenses/MPL-2.0
    printf '\n%s\n%s. Debian'"'"'s copyright file for zlib\n%s\n\n' "$rule" $((section++)) "$rule"
    cat "$xlsx_licences/zlib-debian-copyright.txt"
  fi
} | sed -e "s/@LGPL@/$first_text/; s/@QT@/$((first_text + 1))/; s/@GCC@/$((first_text + 2))/" \
        -e "s/@MINGW@/$((first_text + 3))/; s/@XLSX@/$((first_text + 4))/; s/@MPL@/$((first_text + 5))/" \
        -e "s/@ZLIB@/$((first_text + 6))/" | crlf >"$out/THIRD-PARTY-NOTICES.txt"
