#!/usr/bin/env bash
# CPU of the whole klangdeck process while it plays an MP3 with its main
# window shown on a virtual X display, as a share of one core:
# utime + stime from /proc/PID/stat over 20 seconds of playback, beside the
# same measure while the window stands idle. The program uses the default
# output device, which falls back to the no-sound device where no sound card
# opens. The track is opened as a user would (scripts/open-track).
# KLANG_BUILD_DIR picks the build (default build-release); KLANG_CPU_SECONDS
# the measuring time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${KLANG_BUILD_DIR:-$root/build-release}")
seconds=${KLANG_CPU_SECONDS:-20}

# On the virtual display (the script calls itself there).
if [ "${1:-}" = "--on-display" ]; then
    exe=$2 track=$3
    "$exe" >/dev/null 2>&1 &
    pid=$!
    trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
    ticks=$(getconf CLK_TCK)
    # Prints the process's share of one core over $1 seconds, in per cent.
    share() {
        local t0 t1 w0 w1
        t0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
        w0=$(date +%s.%N)
        sleep "$1"
        t1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
        w1=$(date +%s.%N)
        awk -v a="$t0" -v b="$t1" -v c="$w0" -v d="$w1" -v hz="$ticks" \
            'BEGIN { printf "%.2f", 100 * (b - a) / hz / (d - c) }'
    }
    # The window is up once open-track finds it; idle first, then playing.
    for _ in $(seq 1 300); do
        xdotool search --all --onlyvisible --pid "$pid" --name '^Klangdeck$' >/dev/null 2>&1 &&
            ! xdotool search --all --onlyvisible --pid "$pid" --name '^SplashForm$' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 1
    idle=$(share "$seconds")
    "$root/scripts/open-track" "$pid" "$track"
    sleep 1
    playing=$(share "$seconds")
    # Still open at the end: it played all the while.
    ls -l "/proc/$pid/fd" | grep -qF -- "-> $track" || { echo "ui_cpu: the track was closed" >&2; exit 1; }
    printf 'klangdeck, window shown, idle:         %s %% of one core over %s s\n' "$idle" "$seconds"
    printf 'klangdeck, window shown, playing MP3:  %s %% of one core over %s s (goal: under 3 %%)\n' \
        "$playing" "$seconds"
    exit 0
fi

exe=$build/klangdeck
[ -x "$exe" ] || { echo "ui_cpu: no program at $exe (scripts/build first)" >&2; exit 1; }
media=$build/bench-media
mkdir -p "$media"
track=$media/ui-cpu-90s.mp3
if [ ! -s "$track" ]; then
    sox -q -n -r 44100 -c 2 -b 16 "$media/ui-cpu-90s.wav" synth 90 sine 220 sine 330 vol 0.4
    lame --quiet -b 192 "$media/ui-cpu-90s.wav" "$track"
    rm "$media/ui-cpu-90s.wav"
fi
"$root/scripts/lib/with-display" "$0" --on-display "$exe" "$track"
