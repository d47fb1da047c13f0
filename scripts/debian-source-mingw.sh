# Sourced by the scripts that cross-build a Debian source package for 64-bit Windows (MinGW-w64):
# the download of the source and the start of the CMake toolchain they share.

# In the current folder: a private deb-src list for the archive the system's own sources name
# (the system's apt configuration is not changed), its index read, and apt_options set for
# apt-get source. apt checks what it downloads against the checksums of the archive's signed
# source index. Needs root, and a say function for errors.
debian_source_list() {
  local uri suite
  mkdir -p apt/lists/partial apt/parts apt/cache/archives/partial
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '/^deb / {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  [ -n "$uri" ] || { say "no Debian archive in the system's apt sources"; exit 1; }
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf 'Types: deb-src\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$suite" "$suite" >apt/parts/src.sources
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$PWD/apt/parts"
               -o "Dir::State::Lists=$PWD/apt/lists" -o "Dir::Cache=$PWD/apt/cache"
               -o APT::Sandbox::User=root)  # the download folder is root's
  apt-get -q "${apt_options[@]}" update >/dev/null
}

# Writes the toolchain file's common part to $1: the project's MinGW-w64 compilers, and the
# target's own headers and libraries only. The caller appends what its package needs.
mingw_toolchain_start() {
  cat >"$1" <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
find_program(CMAKE_C_COMPILER NAMES x86_64-w64-mingw32-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES x86_64-w64-mingw32-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES x86_64-w64-mingw32-windres)
get_filename_component(_bin "${CMAKE_CXX_COMPILER}" DIRECTORY)
get_filename_component(_prefix "${_bin}" DIRECTORY)
set(CMAKE_FIND_ROOT_PATH "${_prefix}/x86_64-w64-mingw32")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN
}
