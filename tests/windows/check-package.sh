#!/usr/bin/env bash
# What a Windows user gets, checked without running it: the zip's exact contents (no test-only
# plugin, the Windows style plugin), nothing read-only, every binary stripped, the program a
# window program with its icon, version information and manifest, the icon's images, the
# licence, notices and README, the setup program beside the zip (its pages are read under Wine
# by installer-wine.sh), and the program's source archive beside both, named in the texts.
#   check-package.sh <build dir>
set -euo pipefail
build=$1
failures=0
fail() { echo "check-package: FAIL: $*" >&2; failures=$((failures + 1)); }
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
major_minor_patch=${version//./, }
zipfile="$build/torvane-capture-$version-windows-x64.zip"
setup="$build/torvane-capture-$version-windows-x64-setup.exe"
source_archive="$build/torvane-capture-$version-source.tar.gz"
objdump=x86_64-w64-mingw32-objdump
windres=x86_64-w64-mingw32-windres
[ -f "$zipfile" ] || { echo "check-package: no $zipfile" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Contents: exactly these, in one folder.
expected="LICENSE.txt
Qt6Core.dll
Qt6Gui.dll
Qt6Widgets.dll
README.txt
THIRD-PARTY-NOTICES.txt
libgcc_s_seh-1.dll
libstdc++-6.dll
libwinpthread-1.dll
platforms/qwindows.dll
styles/qwindowsvistastyle.dll
torvane-capture.com
torvane-capture.exe"
actual=$(zipinfo -1 "$zipfile" | grep -v '/$' | sed 's|^torvane-capture/||' | LC_ALL=C sort)
[ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] ||
  fail "zip contents differ:"$'\n'"$(diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true)"
[ "$(zipinfo -1 "$zipfile" | grep -vc '^torvane-capture/')" -eq 0 ] || fail "entries outside the torvane-capture folder"

# Writable: neither the DOS read-only flag nor a Unix mode without the owner's write bit.
[ "$(zipinfo -v "$zipfile" | grep -c 'MS-DOS file attributes.*read-only')" -eq 0 ] || fail "read-only entries in the zip"
zipinfo -l "$zipfile" | awk '$1 ~ /^[-d]/ && substr($1, 3, 1) != "w" {print; bad = 1} END {exit bad}' >/dev/null ||
  fail "entries without the owner's write permission"

unzip -q "$zipfile" -d "$work"
app="$work/torvane-capture"

# Stripped: no symbol table, no debug sections.
while IFS= read -r -d '' binary; do
  name=${binary#"$app/"}
  [ "$($objdump -t "$binary" | grep -c '^\[')" -eq 0 ] || fail "$name keeps its symbol table"
  [ "$($objdump -h "$binary" | grep -c '\.debug')" -eq 0 ] || fail "$name keeps debug sections"
done < <(find "$app" \( -name '*.exe' -o -name '*.com' -o -name '*.dll' \) -print0)

# A window program, not a console one.
subsystem() { $objdump -p "$1" | sed -n 's/^Subsystem[[:space:]]*//p'; }
[[ "$(subsystem "$app/torvane-capture.exe")" == *"(Windows GUI)" ]] || fail "torvane-capture.exe is not a window (GUI) program"
# Its console companion, which a shell starts for the bare name, is a console program.
[[ "$(subsystem "$app/torvane-capture.com")" == *"(Windows CUI)" ]] || fail "torvane-capture.com is not a console program"

# Resources: the icon Qt and Explorer pick, version information, the manifest.
resources=$($windres -i "$app/torvane-capture.exe" -O rc 2>/dev/null) || fail "no resources in torvane-capture.exe"
grep -q '^"IDI_ICON1" 14 /\* RT_GROUP_ICON \*/' <<<"$resources" || fail "no icon group IDI_ICON1"
grep -q 'Has 10 elements' <<<"$resources" || fail "the icon group does not hold 10 sizes"
grep -q "FILEVERSION $major_minor_patch, 0" <<<"$resources" || fail "FILEVERSION is not $version"
for value in "\"FileVersion\", \"$version\"" "\"ProductVersion\", \"$version\"" '"ProductName", "Torvane Throttle Setup"' \
             '"LegalCopyright", "Copyright (C) The torvane-capture developers. Licence: GNU GPL version 3 or later."'; do
  grep -qF "VALUE $value" <<<"$resources" || fail "version information lacks $value"
done
grep -q '^1 24 /\* RT_MANIFEST \*/' <<<"$resources" || fail "no manifest"
for text in 'PerMonitorV2' 'true/pm' 'Microsoft.Windows.Common-Controls" version="6.0.0.0' \
            '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' 'level="asInvoker"'; do
  grep -aqF "$text" "$app/torvane-capture.exe" || fail "the manifest lacks $text"
done

# The icon file: an icon directory of 16 to 256 px images, each a PNG of the size its entry says.
ico=$(find "$build/app" -name torvane-capture.ico | head -n1)
if [ -z "$ico" ]; then
  fail "no torvane-capture.ico in $build/app"
else
  u8() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
  u16() { echo $(($(u8 "$1" "$2") + 256 * $(u8 "$1" $(($2 + 1))))); }
  u32() { echo $(($(u16 "$1" "$2") + 65536 * $(u16 "$1" $(($2 + 2))))); }
  be32() { od -An -tu1 -j "$2" -N4 "$1" | awk '{print ((($1 * 256 + $2) * 256 + $3) * 256 + $4)}'; }
  [ "$(u16 "$ico" 0)" -eq 0 ] && [ "$(u16 "$ico" 2)" -eq 1 ] || fail "$ico is not an icon file"
  count=$(u16 "$ico" 4)
  size=$(stat -c %s "$ico")
  sizes=()
  for ((i = 0; i < count; i++)); do
    entry=$((6 + 16 * i))
    px=$(u8 "$ico" "$entry"); [ "$px" -eq 0 ] && px=256
    length=$(u32 "$ico" $((entry + 8))) offset=$(u32 "$ico" $((entry + 12)))
    [ $((offset + length)) -le "$size" ] || { fail "icon image $i lies outside the file"; continue; }
    [ "$(od -An -tx1 -j "$offset" -N8 "$ico" | tr -d ' ')" = 89504e470d0a1a0a ] || fail "icon image $i is not a PNG"
    [ "$(be32 "$ico" $((offset + 16)))" -eq "$px" ] || fail "icon image $i is not $px px wide"
    sizes+=("$px")
  done
  [ "${sizes[*]}" = "16 20 24 32 40 48 64 96 128 256" ] || fail "icon sizes are ${sizes[*]}"
fi

# The texts: Windows line ends, the licences in full, where files go and how to remove it.
for text in LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt; do
  grep -q $'[^\r]$' "$app/$text" && fail "$text has lines without Windows line ends"
done
grep -q 'GNU GENERAL PUBLIC LICENSE' "$app/LICENSE.txt" || fail "LICENSE.txt is not the GPL"
for text in 'GNU LESSER GENERAL PUBLIC LICENSE' 'Version 3, 29 June 2007' 'qt6-base' 'GCC RUNTIME LIBRARY EXCEPTION' \
            'mingw-w64-libraries/winpthreads' 'libstdc++-6.dll' 'libwinpthread-1.dll'; do
  grep -qF "$text" "$app/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks \"$text\""
done
# The workbook library and zlib, linked in: their licences and those of the code built in with
# the library (minizip, tmpfileplus under the MPL); no zlib DLL to ship.
if grep -q '^TORVANE_XLSX:INTERNAL=ON' "$build/CMakeCache.txt"; then
  for text in 'libxlsxwriter' 'John McNamara' 'Gilles Vollant' 'tmpfileplus' 'Mozilla Public License Version 2.0' \
              'Jean-loup Gailly and Mark Adler' 'libz-mingw-w64-dev'; do
    grep -qF "$text" "$app/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks \"$text\""
  done
  grep -q '@[A-Z]*@' "$app/THIRD-PARTY-NOTICES.txt" && fail "THIRD-PARTY-NOTICES.txt keeps a section placeholder"
  $objdump -p "$app/torvane-capture.exe" | grep -qi 'DLL Name: zlib' && fail "torvane-capture.exe needs a zlib DLL"
fi
for text in "torvane-capture-$version-source.tar.gz" 'GNU General Public License, version 3'; do
  grep -qF "$text" "$app/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks \"$text\""
done
# README.txt wraps its lines: read it as one.
readme=$(tr -d '\r' <"$app/README.txt" | tr '\n' ' ')
grep -qF "torvane-capture-$version-source.tar.gz" <<<"$readme" || fail "README.txt does not name the source archive"
for text in "$version" '%APPDATA%\torvane\Torvane Throttle Setup\captures' 'HKEY_CURRENT_USER\Software\torvane\Torvane Throttle Setup' \
            '%LOCALAPPDATA%\Programs\torvane-capture' 'Uninstall'; do
  grep -qF "$text" "$app/README.txt" || fail "README.txt lacks \"$text\""
done

# The setup program: a window program that asks for no elevation.
if [ -f "$setup" ]; then
  [[ "$(subsystem "$setup")" == *"(Windows GUI)" ]] || fail "the setup program is not a window program"
  [[ "$($objdump -f "$setup")" == *"i386:x86-64"* ]] || fail "the setup program is not 64-bit, like the program it installs"
  grep -aq 'level="asInvoker"' "$setup" || fail "the setup program asks for administrator rights"
else
  fail "no setup program $setup"
fi

# The source archive: the tree in one folder named after the version, without build output,
# with what builds the program and these packages.
if [ -f "$source_archive" ]; then
  listing=$(tar -tzf "$source_archive") || fail "the source archive cannot be read"
  [ "$(grep -vc "^torvane-capture-$version/" <<<"$listing")" -eq 0 ] || fail "source archive entries outside torvane-capture-$version/"
  for file in CMakeLists.txt CMakePresets.json LICENSE README.md app/main.cpp scripts/package-windows.sh \
              scripts/build-qt-mingw.sh scripts/build-xlsxwriter-mingw.sh packaging/windows/NSIS.template.in; do
    grep -qxF "torvane-capture-$version/$file" <<<"$listing" || fail "the source archive lacks $file"
  done
  grep -q "^torvane-capture-$version/build/" <<<"$listing" && fail "the source archive holds build output"
  if git -C "$(dirname "$0")" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    tracked=$(git -C "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)" ls-files | LC_ALL=C sort)
    archived=$(grep -v '/$' <<<"$listing" | sed "s|^torvane-capture-$version/||" | LC_ALL=C sort)
    [ "$tracked" = "$archived" ] || fail "the source archive differs from the tracked files:"$'\n'"$(diff <(echo "$tracked") <(echo "$archived") | head -20)"
  fi
else
  fail "no source archive $source_archive"
fi

[ "$failures" -eq 0 ] || { echo "check-package: $failures failure(s)" >&2; exit 1; }
echo "check-package: zip $(stat -c %s "$zipfile") bytes ($(du -sb "$app" | cut -f1) unpacked), setup $(stat -c %s "$setup") bytes, source $(stat -c %s "$source_archive") bytes: contents, modes, stripping, resources, icon, texts and source archive as expected"
