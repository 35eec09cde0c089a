#!/usr/bin/env bash
# Klangdeck keeps nothing between runs: started with an empty home, used as a
# new user would (the open dialog, a track played, the program quit with
# Alt+F4), it leaves the home as it found it.
#   tests/app/empty-home.sh KLANGDECK TRACK
# Two runs, each on a private virtual display with a private
# session bus, as a desktop session has: one without a sound server (the
# engine falls back to its no-sound device), where the home stays empty; one
# with a private PulseAudio server of the same home, as a login session runs
# it, where the program plays through the server and the home holds exactly
# what the server put there before the program started. Needs xdotool, and
# pulseaudio with pactl for the second run (skipped without them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/wait-exit.bash"

# The home's entries with size and time of change, one a line.
listing() { (cd "$HOME" && find . -mindepth 1 -printf '%p %s %T@\n' | sort); }

if [ "${1:-}" = "--on-display" ]; then
    exe=$2 track=$3 work=$4 sound=$5
    pids=()
    trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
    if [ "$sound" = sound ]; then
        # The session's sound server: a null sink, the native protocol on
        # $XDG_RUNTIME_DIR/pulse/native, nothing that stores stream settings.
        mkdir -p "$HOME/.config/pulse"
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
            -L module-null-sink -L module-native-protocol-unix >"$work/pulse.log" 2>&1 &
        pids+=($!)
        for _ in $(seq 1 100); do
            pactl info >/dev/null 2>&1 && break
            sleep 0.1
        done
        pactl info >/dev/null || { echo "empty-home: no sound server" >&2; exit 1; }
    fi
    listing >"$work/before"
    "$exe" >"$work/log" 2>&1 &
    pid=$!
    pids+=("$pid")
    "$here/../../scripts/open-track" "$pid" "$track"
    if [ "$sound" = sound ]; then
        for _ in $(seq 1 100); do
            [ -n "$(pactl list short sink-inputs)" ] && break
            sleep 0.1
        done
        if [ -z "$(pactl list short sink-inputs)" ]; then
            echo "empty-home: the track does not play through the sound server" >&2
            exit 1
        fi
    fi
    sleep 1
    # The dialog has gone; the main window takes the keys again.
    main=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Klangdeck$' | head -n 1)
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers alt+F4
    if ! wait_exit "$pid" 30; then
        echo "empty-home: klangdeck still runs 30 s after Alt+F4" >&2
        exit 1
    fi
    wait "$pid"
    listing >"$work/after"
    exit 0
fi

exe=$(realpath "$1")
track=$(realpath "$2")
status=0
for sound in none sound; do
    if [ "$sound" = sound ] && ! { command -v pulseaudio && command -v pactl; } >/dev/null; then
        echo "empty-home: no pulseaudio and pactl, the run with a sound server is skipped"
        continue
    fi
    work=$(mktemp -d)
    mkdir "$work/home" "$work/runtime"
    chmod 700 "$work/home" "$work/runtime"
    # A session starts its sound server itself; the client library must not
    # start one (into the tested home) when there is none.
    echo "autospawn = no" >"$work/client.conf"
    # The home and nothing else: no XDG folder elsewhere that could take what
    # would otherwise land in it. The runtime folder is not the home's.
    if ! env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME \
        -u XDG_CONFIG_DIRS -u XDG_DATA_DIRS -u PULSE_SERVER -u PULSE_COOKIE \
        HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" PULSE_CLIENTCONFIG="$work/client.conf" \
        dbus-run-session -- "$here/../../scripts/lib/with-display" \
        "$0" --on-display "$exe" "$track" "$work" "$sound" 2>"$work/stderr"; then
        echo "empty-home ($sound): the run failed:" >&2
        cat "$work/stderr" "$work/log" >&2
        status=1
    elif [ "$sound" = none ] && [ -s "$work/after" ]; then
        echo "empty-home: the run left in the empty home:" >&2
        cat "$work/after" >&2
        status=1
    elif ! diff -u "$work/before" "$work/after" >&2; then
        echo "empty-home ($sound): the run changed the home (above)" >&2
        status=1
    else
        echo "empty-home ($sound): the home is as it was"
    fi
    rm -rf "$work"
done
exit $status
