#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev fonts-dejavu-core fonts-liberation2 fontconfig
  clang-14 libclang-rt-14-dev llvm-14
  libgtest-dev googletest
  xvfb xauth xdotool x11-utils
  # pdftotext: the check report tests read the PDF's text
  poppler-utils
  dpkg-dev file desktop-file-utils appstream man-db librsvg2-bin lintian
  # the X11 calls that ask the window manager for a window's frame and the screens' work area
  libxcb1-dev
  # the spreadsheet workbook export, and the independent reader its test reads it back with
  libxlsxwriter-dev python3-openpyxl
  # the locale sources a workbook test makes a decimal-comma locale from (localedef)
  locales
  # two window managers for the screen-fit checks (title bars, a panel, a task bar), a nested X
  # server and RandR's tool for two screens side by side
  openbox icewm xserver-xephyr x11-xserver-utils
  # the Windows build, its Qt (built from Debian's qt6-base source), zip, setup program, tests under Wine (64-bit only)
  g++-mingw-w64-x86-64-posix wine wine64 zip unzip nsis xz-utils debian-archive-keyring
  # the workbook library for Windows, built from Debian's libxlsxwriter source against its zlib
  libz-mingw-w64-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
