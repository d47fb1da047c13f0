#!/usr/bin/env bash
# Writes the text files that ship with the Windows build, with Windows line ends:
# LICENSE.txt, README.txt and THIRD-PARTY-NOTICES.txt. The third-party licences are taken from
# the Debian packages the Windows build is made with, so they match what ships.
#   make-texts.sh <source tree> <out dir> <version> <Qt for MinGW prefix> <its Qt version>
set -euo pipefail
src=$1 out=$2 version=$3 qt=$4 qt_version=$5
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

mkdir -p "$out"
crlf <"$src/LICENSE" >"$out/LICENSE.txt"
sed "s/@VERSION@/$version/g" "$here/README.txt.in" | crlf >"$out/README.txt"

rule='========================================================================'
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
   text in section 4; it adds to the GNU GPL version 3, whose full text is in
   LICENSE.txt. Qt's DLLs are linked dynamically: you may replace them with
   your own build of Qt $qt_version.

   Source: Debian's source package $qt_source (the Debian archive,
   "apt-get source qt6-base", or snapshot.debian.org for that version),
   built for 64-bit Windows by scripts/build-qt-mingw.sh in torvane-capture's
   source, with one change: the windows platform plugin's dynamic-OpenGL code
   is left out, as the build has no OpenGL. Qt's own copies of third-party
   code are built into these DLLs; their notices are in Debian's copyright
   file for Qt, in section 5.

2. The GCC runtime libraries (libstdc++-6.dll, libgcc_s_seh-1.dll; also
   linked into torvane-capture.exe), from Debian's gcc-mingw-w64 $gcc_version

   Licence: GNU General Public License, version 3 or later, with the GCC
   Runtime Library Exception, version 3.1 (text in section 6). Source:
   Debian's source package gcc-mingw-w64.

3. The MinGW-w64 runtime, from Debian's mingw-w64 $mingw_version: winpthreads
   (libwinpthread-1.dll, also linked into torvane-capture.exe) and the
   start-up code linked into every program

   Licence: winpthreads is under the MIT (expat) licence, with parts under a
   BSD licence; the start-up code under the licences listed in section 7.
   Source: Debian's source package mingw-w64.

$rule
4. GNU Lesser General Public License, version 3
$rule

TEXT
  cat "$lgpl3"
  printf '\n%s\n5. Debian'"'"'s copyright file for Qt (qt6-base), with the licences of the\n   third-party code in it\n%s\n\n' "$rule" "$rule"
  cat "$qt_copyright"
  printf '\n%s\n6. Debian'"'"'s copyright file for the GCC runtime (gcc-mingw-w64), with the\n   GCC Runtime Library Exception\n%s\n\n' "$rule" "$rule"
  cat "$gcc_copyright"
  printf '\n%s\n7. Debian'"'"'s copyright file for the MinGW-w64 runtime (mingw-w64), with the\n   winpthreads licence\n%s\n\n' "$rule" "$rule"
  cat "$mingw_copyright"
} | crlf >"$out/THIRD-PARTY-NOTICES.txt"
