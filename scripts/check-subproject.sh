#!/usr/bin/env bash
# The tree as another project's subproject (add_subdirectory): a small outer project links the
# serial component and the session file format, and builds them with the packaging files and the
# plot model. Every path the tree uses must be its own: a file looked for in the outer project's
# folders fails the configure or the build, and no test command may point into them.
# A library's headers come with linking it and only then: the outer program includes those of the
# libraries it links (and of their own dependencies), and a header of a library it does not link
# (also one in a subfolder of a linked library's folder, or beside it in a shared folder) is not
# found.
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
# Each line: a library linked, and a header it must not make reachable.
unreachable=(
  "serial app/record/Columns.h"
  "session_recording serial/VaComm.h"
  "session_recording app/recording/qt/RecordingNotice.h"
  "session_recording app/session/SessionData.h"
  "receive_decoder app/MainForm.h"
  "toolkit_core toolkit/qt/StringGrid.h"
  "plot_model app/plot/PlotWindow.h"
  "session_data app/session/ui/SessionWindow.h"
)
for case in "${unreachable[@]}"; do
  read -r lib header <<<"$case"
  name=outer_without_${header//[^A-Za-z0-9]/_}_via_$lib
  echo "#include \"$header\"" >"$outer/$name.cpp"
  printf 'add_library(%s OBJECT EXCLUDE_FROM_ALL %s.cpp)\ntarget_link_libraries(%s PRIVATE %s)\n' \
    "$name" "$name" "$name" "$lib" >>"$outer/CMakeLists.txt"
done
cat >"$outer/main.cpp" <<'CPP'
#include "app/ReceiveDecoder.h"  // session_recording's own dependency
#include "app/record/Columns.h"
#include "serial/VaComm.h"
#include "toolkit/Thread.h"       // serial's

int main() {
    TVaComm comm;
    return !comm.Active() && record::kColumnCount > 0 ? 0 : 1;
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
for case in "${unreachable[@]}"; do
  read -r lib header <<<"$case"
  name=outer_without_${header//[^A-Za-z0-9]/_}_via_$lib
  # Not found is the only acceptable failure: any other error would prove nothing.
  if out=$(cmake --build "$build" --target "$name" 2>&1); then
    fail "$header was found by a target linking only $lib"
  fi
  grep -qE "$header(: No such file|' file not found)" <<<"$out" ||
    fail "$header via $lib failed for another reason: $(grep -m 3 -E 'error' <<<"$out")"
done
echo "subproject: configured and built inside another project; ${#unreachable[@]} headers of libraries not linked were not found"
