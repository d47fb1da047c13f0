#!/usr/bin/env bash
# The tree as another project's subproject (add_subdirectory): a small outer project links the
# serial component and the session file format, and builds them with the packaging files and the
# plot model. Every path the tree uses must be its own: a file looked for in the outer project's
# folders fails the configure or the build, and no test command may point into them.
#   BUILD_DIR (default build/subproject)
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
build=${BUILD_DIR:-$tree/build/subproject}
fail() { echo "subproject: $*" >&2; exit 1; }

outer=$(mktemp -d)
trap 'rm -rf "$outer"' EXIT
cat >"$outer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(outer LANGUAGES CXX)
enable_testing()
add_subdirectory("$tree" torvane)
add_executable(outer_user main.cpp)
target_link_libraries(outer_user PRIVATE serial session_recording)
CMAKE
cat >"$outer/main.cpp" <<'CPP'
#include "app/recording/SessionCsv.h"
#include "serial/VaComm.h"

int main() {
    TVaComm comm;
    return !comm.Active() && recording::kColumnCount > 0 ? 0 : 1;
}
CPP

rm -rf "$build"
# Tests configured too (not built), so that their paths are checked as well.
cmake -S "$outer" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVANE_TESTS=ON >/dev/null ||
  fail "configure failed"
[ ! -e "$build/CPackConfig.cmake" ] || fail "the tree set up CPack for the outer project"
leaks=$(grep -rhF --include=CTestTestfile.cmake -e "$outer" "$build/torvane" || true)
[ -z "$leaks" ] || fail "test commands point into the outer project: $(head -n 3 <<<"$leaks")"
cmake --build "$build" --target outer_user plot_model package_files -j "$(nproc)" >/dev/null || fail "build failed"
"$build/outer_user" || fail "the outer program failed"
echo "subproject: configured and built inside another project"
