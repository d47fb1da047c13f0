#!/usr/bin/env bash
# Builds the Debian package from the default build and checks what a user gets from it: the
# control fields, every file, the unpacked program answering --version, the desktop entry, the
# AppStream metadata and both manual pages as the validators and man see them, and lintian.
# Expects the default build configured (scripts/test.sh does that first).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default

step() { printf -- '-- %s\n' "$*"; }
fail() { echo "package: $*" >&2; exit 1; }

cmake --build --preset default --target torvane-capture unit-sim package_files
rm -rf "$build/package"
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack -G DEB failed"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$build/package/torvane-capture_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb: $(ls "$build/package")"
step "built $deb ($(du -k "$deb" | cut -f1) KiB)"

info=$(dpkg-deb --info "$deb")
for field in Package Version Architecture Maintainer Section Priority Homepage Depends Description; do
  grep -qE "^ $field: .+" <<<"$info" || fail "control field $field missing"
done
grep -qE '^ Depends: .*libqt6widgets6' <<<"$info" || fail "Depends was not computed from the binaries: $(grep Depends <<<"$info")"
grep -qE '^ Version: '"$version"'$' <<<"$info" || fail "wrong version"
step "control: $(grep -E '^ Depends:' <<<"$info" | cut -c1-100)..."

appstream_id=$(sed -n 's/^TORVANE_APPSTREAM_ID:STRING=//p' "$build/CMakeCache.txt")
expected=(
  ./usr/bin/torvane-capture
  ./usr/bin/torvane-unit-sim
  ./usr/share/applications/torvane-capture.desktop
  ./usr/share/icons/hicolor/scalable/apps/torvane-capture.svg
  ./usr/share/icons/hicolor/48x48/apps/torvane-capture.png
  "./usr/share/metainfo/$appstream_id.metainfo.xml"
  ./usr/share/man/man1/torvane-capture.1.gz
  ./usr/share/man/man1/torvane-unit-sim.1.gz
  ./usr/share/doc/torvane-capture/copyright
  ./usr/share/doc/torvane-capture/changelog.gz
)
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for file in "${expected[@]}"; do
  grep -qxF -- "$file" <<<"$contents" || fail "$file is not in the package"
done
unexpected=$(grep -v '/$' <<<"$contents" | grep -vxF -f <(printf '%s\n' "${expected[@]}") || true)
[ -z "$unexpected" ] || fail "files nobody listed: $unexpected"
step "contents: the ${#expected[@]} files"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/torvane-capture" --version) || fail "--version failed"
[ "$answer" = "torvane-capture $version" ] || fail "--version said: $answer"
"$root/usr/bin/torvane-unit-sim" --help | grep -q -- '--link PATH' || fail "torvane-unit-sim --help"
file -b "$root/usr/share/icons/hicolor/48x48/apps/torvane-capture.png" | grep -q 'PNG image data, 48 x 48' ||
  fail "the bitmap icon is not a 48 px PNG"
for program in torvane-capture torvane-unit-sim; do
  file -b "$root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
step "unpacked: $answer"

desktop-file-validate "$root/usr/share/applications/torvane-capture.desktop" | { grep -v ': hint: ' || true; } |
  { ! grep . ; } || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$appstream_id.metainfo.xml" || fail "appstreamcli validate"
for page in torvane-capture torvane-unit-sim; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
             man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
  MANWIDTH=80 man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q '^EXIT STATUS' ||
    fail "man $page renders without its sections"
done
step "desktop entry, AppStream metadata and manual pages validate"

# Debian's own checker: any error or warning fails (informational tags do not). Overrides, if ever
# needed, go in packaging/ with the reason beside each.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1 | { grep -v 'running with root privileges' || true; } ||
  fail "lintian reports errors or warnings"
zcat "$root/usr/share/doc/torvane-capture/changelog.gz" >"$root/changelog"
[ "$(dpkg-parsechangelog -l "$root/changelog" -S Version)" = "$version" ] ||
  fail "the changelog's latest entry is not version $version"
step "lintian: no errors or warnings"
echo "package: $deb checked"
