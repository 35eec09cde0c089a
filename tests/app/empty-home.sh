#!/usr/bin/env bash
# Klangdeck keeps nothing between runs: started with an empty home, used as a
# new user would (the open dialog, a track played, the program quit with
# Alt+F4), it leaves the home as empty as it found it.
#   tests/app/empty-home.sh KLANGDECK TRACK
# Runs the program on a private virtual display (xvfb-run); needs xdotool.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--on-display" ]; then
    exe=$2 track=$3 log=$4
    "$exe" >"$log" 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true' EXIT
    "$here/../../scripts/open-track" "$pid" "$track"
    sleep 1
    # The dialog has gone; the main window takes the keys again.
    main=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Klangdeck$' | head -n 1)
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "empty-home: klangdeck still runs 30 s after Alt+F4" >&2
        exit 1
    fi
    trap - EXIT
    wait "$pid"
    exit $?
fi

exe=$(realpath "$1")
track=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/home" "$work/runtime"
chmod 700 "$work/home" "$work/runtime"
# The home and nothing else: no XDG folder elsewhere that could take what
# would otherwise land in it. The runtime folder is not the home's.
env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME \
    -u XDG_CONFIG_DIRS -u XDG_DATA_DIRS \
    HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
    dbus-run-session -- xvfb-run -a -s "-screen 0 1280x800x24" "$0" --on-display "$exe" "$track" "$work/log" ||
    { echo "empty-home: the run failed:" >&2; cat "$work/log" >&2; exit 1; }
left=$(cd "$work/home" && find . -mindepth 1)
if [ -n "$left" ]; then
    echo "empty-home: the run left in the home:" >&2
    echo "$left" >&2
    exit 1
fi
echo "empty-home: the home is still empty"
