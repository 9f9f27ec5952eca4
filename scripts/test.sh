#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then one with AddressSanitizer and UBSan.
# Then runs each fuzz harness briefly from its seed corpus (VORNIX_FUZZ_SECONDS, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# The time of each step, printed at the end.
times=()
step_start=$SECONDS
step_done() {
    times+=("$1: $((SECONDS - step_start)) s")
    step_start=$SECONDS
}
step_done "packages"

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
step_done "normal build"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
step_done "normal tests"

echo "== AddressSanitizer and UBSan build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNIX_SANITIZE=ON -DVORNIX_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
step_done "sanitizer build"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
step_done "sanitizer tests"

if [ -x scripts/fuzz.sh ] && [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
    echo "== fuzzing =="
    scripts/fuzz.sh "${VORNIX_FUZZ_SECONDS:-20}"
    step_done "fuzzing"
fi
printf '%s\n' "${times[@]}"
echo "All tests passed in $SECONDS s."
