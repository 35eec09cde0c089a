#!/usr/bin/env bash
# The real program over a folder of N tagged one-second MP3 files (default
# 100,000; KLANG_LIST_FILES) on a RAM disk of its own, in a private mount
# namespace, on a private virtual display. The folder is chosen in the tree
# with key presses, as a user would. Reports the program's peak memory
# (VmHWM) with the window idle and after the folder, and the time from the
# key press until the program's CPU falls idle again (the library's worker
# has read every file and the rows are filled). KLANG_BUILD_DIR picks the
# build (default build-release). Needs root for the mount namespace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${KLANG_BUILD_DIR:-$root/build-release}")
files=${KLANG_LIST_FILES:-100000}

hwm() { awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

if [ "${1:-}" = "--on-display" ]; then
    exe=$2
    "$exe" >/dev/null 2>&1 &
    pid=$!
    trap 'kill -KILL "$pid" 2>/dev/null || true' EXIT
    win=""
    for _ in $(seq 1 300); do
        win=$(xdotool search --all --onlyvisible --pid "$pid" --name '^Klangdeck$' 2>/dev/null | head -n 1) || true
        [ -n "$win" ] && [ -z "$(xdotool search --all --onlyvisible --pid "$pid" --name '^SplashForm$' 2>/dev/null)" ] && break
        sleep 0.1
    done
    [ -n "$win" ] || { echo "ui_list_window: no main window" >&2; exit 1; }
    xdotool windowfocus --sync "$win"
    xdotool mousemove --window "$win" 60 400 click 1
    sleep 0.5
    # To the last drive (the RAM disk), open it; the last Right chooses its
    # first folder.
    for k in Home End Right; do xdotool key "$k"; sleep 0.5; done
    sleep 1
    idle=$(hwm "$pid")
    start=$(now_ms)
    xdotool key Right
    last=$(ticks "$pid") busy_until=$start
    while :; do
        sleep 0.1
        t=$(ticks "$pid") at=$(now_ms)
        if [ "$t" -gt "$last" ]; then
            busy_until=$at
            last=$t
        elif [ $((at - busy_until)) -ge 1000 ]; then
            break
        fi
        [ $((at - start)) -lt 300000 ] || { echo "ui_list_window: still busy after 300 s" >&2; exit 1; }
    done
    echo "files $files: peak memory idle ${idle} MB, after the folder $(hwm "$pid") MB;" \
        "busy for $((busy_until - start)) ms after the key press"
    xdotool windowfocus --sync "$win" key alt+F4
    exit 0
fi

if [ "${1:-}" = "--in-namespace" ]; then
    exe=$2
    mount -t tmpfs klangdeck /mnt
    mkdir /mnt/Klangdeck
    mount -t tmpfs klangdeck-list /mnt/Klangdeck
    mkdir /mnt/Klangdeck/Musik
    tmp=$(mktemp -d)
    sox -q -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 1 sine 440 vol 0.3
    lame --quiet -b 128 --id3v2-only --tt "Über den Wolken" --ta "Künstlerin" --tl "Album" \
        "$tmp/tone.wav" /mnt/Klangdeck/tone.mp3
    rm -rf "$tmp"
    # Links to one file: the names are what the listing and the rows cost.
    perl -e 'for my $i (0 .. $ARGV[0] - 1) { link("/mnt/Klangdeck/tone.mp3",
             "/mnt/Klangdeck/Musik/$i - Über den Wolken.mp3") or die "$!\n" }' "$files"
    exec "$root/scripts/lib/with-display" "$0" --on-display "$exe"
fi

exe=$build/klangdeck
[ -x "$exe" ] || { echo "ui_list_window: build $exe first" >&2; exit 1; }
export SDL_AUDIODRIVER=dummy
unset QT_QPA_PLATFORM
exec unshare -m "$0" --in-namespace "$exe"
