#!/usr/bin/env bash
# Builds Vornix and starts it in the current directory (its settings file and the store of
# unsaved CELs live there). Without a display it starts under a virtual X server.
set -euo pipefail
here=$(pwd)
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target vornix vornix-cel
cd "$here"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Vornix under xvfb-run."
    exec xvfb-run -a "$root/build/vornix" "$@"
fi
exec "$root/build/vornix" "$@"
