#!/usr/bin/env bash
# hostile-session.sh KLANGDECK HOSTILE-FILES OPEN-TRACK LIMIT: the program on
# a virtual display, driven by key presses as a user would.
#  1. Under an address-space limit of LIMIT bytes (0: none) it plays the
#     sparse 4 GB file whose title frame declares 2 GiB, stays alive, and
#     ends with status 0 on Alt+F4.
#  2. With a sparse 4 GB file of zeros (no MPEG frame: the library's worker
#     would scan it to its end) in the folder chosen in the tree, it ends
#     with status 0 within 3 s of Alt+F4.
# The files lie on a RAM disk of their own at /mnt/Klangdeck, in a private
# mount namespace, so that the tree shows it as the last drive. Exits 77
# (skipped) where no mount namespace, virtual display or sparse file can be had.
set -euo pipefail
exe=$1 hostile=$2 open_track=$3 limit=$4
fail() { echo "hostile-session: $*" >&2; exit 1; }
source "$(dirname "$0")/../support/wait-exit.bash"

if [ "${5:-}" = "--on-display" ]; then
    # The id of the main window once it is mapped and the splash has gone.
    main_window() {
        local pid=$1
        [ -z "$(xdotool search --all --onlyvisible --pid "$pid" --name '^SplashForm$' 2>/dev/null)" ] &&
            xdotool search --all --onlyvisible --pid "$pid" --name '^Klangdeck$' 2>/dev/null | head -n 1
    }
    start_program() {
        if [ "$limit" != 0 ]; then
            prlimit --as="$limit" "$exe" >"$log" 2>&1 &
        else
            "$exe" >"$log" 2>&1 &
        fi
        pid=$!
        for _ in $(seq 1 300); do
            kill -0 "$pid" 2>/dev/null || fail "klangdeck ended at start: $(cat "$log")"
            win=$(main_window "$pid") && [ -n "$win" ] && return 0
            sleep 0.1
        done
        fail "no main window within 30 s"
    }
    # Alt+F4 to the main window; the time until the program has ended, in ms.
    quit_program() {
        xdotool windowfocus --sync "$win" key alt+F4
        local start
        start=$(date +%s%N)
        status=0
        wait_exit "$pid" 30 || { kill -9 "$pid"; fail "still running 30 s after Alt+F4"; }
        wait "$pid" || status=$?
        quit_ms=$(( ($(date +%s%N) - start) / 1000000 ))
    }
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT

    start_program
    "$open_track" "$pid" /mnt/riese.mp3
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "klangdeck died playing the giant-frame file: $(cat "$log")"
    quit_program
    echo "giant-frame file played; ended ${quit_ms} ms after Alt+F4 with status $status"
    [ "$status" -eq 0 ] || fail "status $status: $(cat "$log")"

    start_program
    # Into the tree, to the last drive (the RAM disk), open it, down to its
    # first folder: choosing it lists the zero file and queues it for reading.
    xdotool windowfocus --sync "$win"
    xdotool mousemove --window "$win" 60 400 click 1
    sleep 0.3
    for k in Home End Right Right; do xdotool key "$k"; sleep 0.3; done
    reads_zeros() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- '-> /mnt/Klangdeck/Nullen/nullen.mp3'; }
    for _ in $(seq 1 300); do reads_zeros && break; sleep 0.1; done
    reads_zeros || fail "the worker does not read the zero file within 30 s"
    sleep 0.5 # into the scan
    quit_program
    echo "quit during the scan of 4 GB: ended ${quit_ms} ms after Alt+F4 with status $status"
    [ "$status" -eq 0 ] || fail "status $status: $(cat "$log")"
    [ "$quit_ms" -lt 3000 ] || fail "took ${quit_ms} ms to end"
    exit 0
fi

if [ "${5:-}" = "--in-namespace" ]; then
    mount -t tmpfs klangdeck /mnt
    mkdir /mnt/Klangdeck
    mount -t tmpfs klangdeck-hostile /mnt/Klangdeck
    mkdir /mnt/Klangdeck/Nullen
    "$hostile" --giant /mnt/riese.mp3
    "$hostile" --zeros /mnt/Klangdeck/Nullen/nullen.mp3
    exec "$(dirname "$0")/../../scripts/lib/with-display" "$0" "$exe" "$hostile" "$open_track" "$limit" --on-display
fi

for tool in Xvfb xdotool unshare prlimit; do
    command -v "$tool" >/dev/null || { echo "hostile-session: no $tool" >&2; exit 77; }
done
unshare -m true 2>/dev/null || { echo "hostile-session: no mount namespace" >&2; exit 77; }
exec unshare -m "$0" "$exe" "$hostile" "$open_track" "$limit" --in-namespace
