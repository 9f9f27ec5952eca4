#!/usr/bin/env bash
# Windows come back exactly where they were closed: WindowPlaceCheck runs on a virtual X
# server, once under openbox (which frames every window with a title bar) and once without a
# window manager (no frame at all). Skipped, with the reason, when Xvfb, openbox or xprop is
# missing (scripts/deps.sh installs them).
set -u
check=$1
for tool in Xvfb openbox xprop; do
    if ! command -v "$tool" > /dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null; done
    wait 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Polls for up to 30 seconds until the command succeeds.
wait_for() {
    for _ in $(seq 300); do
        "$@" > /dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

status=0
for mode in framed bare; do
    # An X server on a free display; it writes the display's number when it is ready.
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3> "$work/display.$mode" \
        > /dev/null 2>&1 &
    pids+=($!)
    if ! wait_for test -s "$work/display.$mode"; then
        echo "FAILED: Xvfb did not start"
        exit 1
    fi
    export DISPLAY=:$(tr -d '\n' < "$work/display.$mode")
    if [ $mode = framed ]; then
        openbox --sm-disable > /dev/null 2>&1 &
        pids+=($!)
        if ! wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
            echo "FAILED: openbox did not start"
            exit 1
        fi
    fi
    if ! QT_QPA_PLATFORM=xcb "$check" $mode 3; then
        echo "FAILED: $mode"
        status=1
    fi
done
exit $status
