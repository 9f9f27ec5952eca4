#!/usr/bin/env bash
# Long random walks through the windows: walk.sh [steps per walk] [walks]
# Each walk starts from a fresh random seed, printed first; the first failing walk stops the
# script and prints its seed, step and last actions (replay it with VORNIX_WALK_SEED and
# VORNIX_WALK_STEPS set as the report says). Defaults: 100000 steps, 10 walks.
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-100000}
walks=${2:-10}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target RandomWalkTest
export QT_QPA_PLATFORM=offscreen
for ((n = 1; n <= walks; n++)); do
    echo "== walk $n of $walks, $steps steps =="
    if ! VORNIX_WALK_SEED=random VORNIX_WALK_STEPS="$steps" \
        build/tests/RandomWalkTest walkKeepsEveryRule >"build/walk.log" 2>&1; then
        grep -v '^QDEBUG\|^QWARN' build/walk.log | sed -n '/random walk/,$p'
        echo "walk $n failed; the log is build/walk.log"
        exit 1
    fi
    grep '^random walk' build/walk.log
done
echo "All $walks walks passed."
