#!/usr/bin/env bash
# Every test: the default build's tests and its slow ones, the Debian package, the builds of users and packagers
# (plain Release, Debian's flags, the tree inside another project), the serial and toolkit tests
# under ThreadSanitizer, everything under AddressSanitizer + UndefinedBehaviorSanitizer, and a
# bounded run of each fuzz target, then the Windows stage (cross build, tests, zip and setup
# program under Wine).
# Installs what it needs first.
#   FUZZ_SECONDS (per target, default 30)   SKIP_SANITIZERS=1 (default build only)   SKIP_WINDOWS=1
#   SKIP_VARIANTS=1 (no plain Release, Debian-flags or subproject build)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

# Each step says how long the run has taken so far, so a slow stage shows in the CI log.
started=$SECONDS
step() { printf '\n== %s (at %d min %02d s) ==\n' "$*" $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60)); }

step "default build and tests"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

# Tests too slow for every run (a workbook past a sheet's million rows, read back).
step "slow tests"
ctest --test-dir build/default -L slow --output-on-failure

step "Debian package: build and checks"
bash scripts/package.sh

if [ -z "${SKIP_VARIANTS:-}" ]; then
  # As a user who knows CMake builds it (no preset), with warnings made errors here so that a
  # warning only -O3 finds is fixed before a user sees it. The program, its libraries and tools;
  # the tests are built with optimisation by the next step, the benchmarks by the default build.
  step "plain Release build"
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTORVANE_WERROR=ON -DTORVANE_TESTS=OFF -DTORVANE_BENCH=OFF >/dev/null
  cmake --build build/release -j "$jobs"

  # As Debian's tools build a package: dpkg-buildflags' optimisation, hardening and
  # _FORTIFY_SOURCE, CPPFLAGS folded into the compile flags (CMake does not read them), no build
  # type of CMake's own. The fast tests run, since _FORTIFY_SOURCE checks at run time.
  step "build with Debian's flags (dpkg-buildflags)"
  (
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    eval "$(dpkg-buildflags --export=sh)"
    export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
    cmake -S . -B build/debian-flags -G Ninja -DCMAKE_BUILD_TYPE=None -DTORVANE_WERROR=ON -DTORVANE_BENCH=OFF >/dev/null
    # The program, its tools and the fast tests (each test is the target of its name); the rest
    # of the tests the default build makes.
    labels='toolkit|serial|recording'
    mapfile -t fast_tests < <(ctest --test-dir build/debian-flags -N -L "$labels" | sed -n 's/^ *Test *#[0-9]*: //p')
    cmake --build build/debian-flags -j "$jobs" --target torvane-capture unit-sim "${fast_tests[@]}"
    ctest --test-dir build/debian-flags -L "$labels" -j "$jobs" --output-on-failure
  )

  step "the tree as another project's subproject"
  bash scripts/check-subproject.sh
fi

if [ -z "${SKIP_SANITIZERS:-}" ]; then
  step "ThreadSanitizer: serial component and toolkit core"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  ctest --preset tsan -j "$jobs"

  step "AddressSanitizer + UndefinedBehaviorSanitizer: everything"
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j "$jobs"
  ctest --preset asan -j "$jobs"

  step "fuzz targets"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  for target in build/fuzz/fuzz/*_fuzz; do
    corpus="build/fuzz/corpus/$(basename "$target")"
    mkdir -p "$corpus"
    "$target" -max_total_time="${FUZZ_SECONDS:-30}" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 | tail -n 5
  done
fi
# The Windows stage builds its Qt for MinGW when there is none (once, about 32 minutes), and
# fails when it cannot test the window; SKIP_WINDOWS=1 skips it, and the last line says so.
skipped=()
[ -n "${SKIP_VARIANTS:-}" ] && skipped+=("the plain Release, Debian-flags and subproject builds (SKIP_VARIANTS=1)")
[ -n "${SKIP_SANITIZERS:-}" ] && skipped+=("sanitizers and fuzzing (SKIP_SANITIZERS=1)")
if [ -z "${SKIP_WINDOWS:-}" ]; then
  bash scripts/test-windows.sh
else
  skipped+=("the Windows stage: cross build, Wine tests, zip and setup program (SKIP_WINDOWS=1)")
fi
if [ ${#skipped[@]} -eq 0 ]; then
  step "all tests passed"
else
  step "all tests run passed; skipped: $(IFS=';'; echo "${skipped[*]}" | sed 's/;/; /g')"
fi
