#!/usr/bin/env bash
# Builds the libFuzzer harnesses in build-fuzz (clang, AddressSanitizer, UBSan) and runs each
# for SECONDS from a copy of its seed corpus, as many at a time as there are cores
# (VORNIX_FUZZ_JOBS chooses); the repository is never written to.
#
#   scripts/fuzz.sh SECONDS [harness...]      (default: every fuzz/Fuzz*.cpp)
#
# Fails on any crash, leak, sanitizer report, input slower than one second (ten for PNG), or
# memory use above 2 GB. Findings are kept in the work folder it prints (VORNIX_FUZZ_WORK chooses it);
# each one belongs in tests/data/hostile/ with a test. Installs nothing: scripts/deps.sh does.
set -euo pipefail
if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [harness...]" >&2
    exit 2
fi
seconds=$1
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

# The tools the harnesses need: clang and its fuzzer and sanitizer runtimes.
if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
    echo "fuzz.sh: clang++ is missing (scripts/deps.sh installs clang)" >&2
    exit 1
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - 2>/dev/null; then
    echo "fuzz.sh: clang cannot link a fuzzer (scripts/deps.sh installs libclang-rt-14-dev)" >&2
    exit 1
fi

if [ $# -gt 0 ]; then
    harnesses=("$@")
else
    harnesses=()
    for source in "$root"/fuzz/Fuzz*.cpp; do
        harnesses+=("$(basename "$source" .cpp)")
    done
fi

echo "== building the fuzz harnesses in $build =="
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVORNIX_FUZZ=ON -DVORNIX_GUI=OFF -DVORNIX_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${harnesses[@]}"

work="${VORNIX_FUZZ_WORK:-$(mktemp -d "${TMPDIR:-/tmp}/vornix-fuzz.XXXXXX")}"
mkdir -p "$work"
echo "== fuzzing for $seconds s per harness; work folder $work =="

# Longest input per harness: room for a few frames, a BMP with its colour table, a palette
# file and its neighbours in size.
max_len() {
    case "$1" in
        FuzzCEL) echo 8192 ;;
        FuzzCL2) echo 8192 ;;
        FuzzBitmap) echo 8192 ;;
        FuzzPNG) echo 8192 ;;
        FuzzPalette) echo 1024 ;;
        *) echo 4096 ;;
    esac
}

# Seconds one input may take. A PNG of a few kilobytes may legally hold some 30 million pixels
# (deflate packs up to 1032 bytes into one), a few seconds of decoding under the sanitizers.
input_timeout() {
    case "$1" in
        FuzzPNG) echo 10 ;;
        *) echo 1 ;;
    esac
}

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# One harness per core at a time: each still gets its SECONDS of a core to itself.
parallel="${VORNIX_FUZZ_JOBS:-$(nproc)}"

# Runs one harness; its exit status goes to its folder, its output to its log.
fuzz_one() {
    local harness=$1
    local program="$build/fuzz/$harness"
    local corpus="$work/$harness/corpus"
    local artifacts="$work/$harness/findings/"
    mkdir -p "$corpus" "$artifacts"
    if [ -d "$root/fuzz/corpus/$harness" ]; then
        cp -R "$root/fuzz/corpus/$harness/." "$corpus/"
    fi
    local dictionary=()
    if [ -f "$root/fuzz/$harness.dict" ]; then
        dictionary=(-dict="$root/fuzz/$harness.dict")
    fi
    local status=0
    "$program" "$corpus" "${dictionary[@]}" -max_total_time="$seconds" -timeout="$(input_timeout "$harness")" \
        -rss_limit_mb=2048 -malloc_limit_mb=2048 -detect_leaks=1 -max_len="$(max_len "$harness")" \
        -artifact_prefix="$artifacts" -print_final_stats=1 >"$work/$harness/log.txt" 2>&1 || status=$?
    echo "$status" >"$work/$harness/status"
}

for harness in "${harnesses[@]}"; do
    if [ ! -x "$build/fuzz/$harness" ]; then
        echo "fuzz.sh: no harness $harness" >&2
        exit 2
    fi
done
running=0
for harness in "${harnesses[@]}"; do
    echo "-- $harness"
    fuzz_one "$harness" &
    running=$((running + 1))
    if [ "$running" -ge "$parallel" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

failed=()
summary=()
for harness in "${harnesses[@]}"; do
    log="$work/$harness/log.txt"
    artifacts="$work/$harness/findings/"
    status=$(cat "$work/$harness/status" 2>/dev/null || echo 1)
    done_line=$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1 || true)
    if [ "$status" -ne 0 ] || [ -z "$done_line" ]; then
        echo "$harness FAILED (exit $status); the end of its log ($log):"
        tail -n 40 "$log" | sed 's/^/   | /'
        ls "$artifacts" 2>/dev/null | sed "s|^|   finding: $artifacts|"
        failed+=("$harness")
        summary+=("$harness: FAILED")
    else
        runs=$(echo "$done_line" | awk '{print $2}')
        took=$(echo "$done_line" | awk '{print $5}')
        summary+=("$harness: $runs executions in $took s, no finding")
    fi
done

echo "== fuzzing summary =="
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing found faults in: ${failed[*]} (inputs kept under $work)"
    exit 1
fi
