#!/usr/bin/env bash
# The real program, playing a track on a virtual display, ends on SIGTERM,
# SIGINT and SIGHUP as through "&Beenden": exit status 0, in time (20 s for a
# busy machine; the time it took is printed).
#   tests/app/end_on_signal.sh KLANGDECK
# It plays on the no-sound device (SDL_AUDIODRIVER=dummy), which every
# machine has; the track, named with umlauts, is opened through "Öffnen..."
# (scripts/open-track).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/../support/wait-exit.bash"

if [ "${1:-}" = "--on-display" ]; then
    exe=$2 track=$3 sig=$4 log=$5
    # Job control: the program is not started with SIGINT ignored, as
    # background jobs of a script otherwise are.
    set -m
    "$exe" >"$log" 2>&1 &
    pid=$!
    trap 'kill -KILL "$pid" 2>/dev/null || true' EXIT
    "$root/scripts/open-track" "$pid" "$track"
    # Mid-track: the time label has moved on.
    sleep 1
    start=$(date +%s%N)
    kill -s "$sig" "$pid"
    if ! wait_exit "$pid" 20; then
        echo "SIG$sig: klangdeck still running after 20 s" >&2
        exit 1
    fi
    status=0
    wait "$pid" || status=$?
    trap - EXIT
    ms=$((($(date +%s%N) - start) / 1000000))
    echo "SIG$sig: exit status $status after $ms ms"
    [ "$status" -eq 0 ]
    exit 0
fi

exe=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -q -n -r 44100 -c 2 -b 16 "$tmp/Grüße über Ähren.wav" synth 120 sine 440 vol 0.3
mkdir -p "$tmp/home"
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config SDL_AUDIODRIVER=dummy
failed=0
for sig in TERM INT HUP; do
    if ! "$root/scripts/lib/with-display" "$0" --on-display "$exe" "$tmp/Grüße über Ähren.wav" "$sig" "$tmp/log"; then
        echo "--- klangdeck's output:" >&2
        cat "$tmp/log" >&2
        failed=1
    fi
done
exit $failed
