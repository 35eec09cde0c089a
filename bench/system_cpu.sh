#!/usr/bin/env bash
# What a player costs the whole system, beside Audacious and Qmmp: the share
# of one core taken by the player, the sound server and the X server
# together, with the main window shown, first idle, then playing a
# 192 kbit/s MP3. Everything runs privately: an Xvfb display, a session bus
# and a PulseAudio daemon whose only sink is a null sink. The players take
# turns (in a rotated order each round); each is checked to be really
# playing into the sink (its stream at the server and sound on the sink's
# monitor). Medians over the rounds.
# KLANG_BUILD_DIR picks the build (default build-release); KLANG_CPU_ROUNDS
# (3), KLANG_IDLE_SECONDS (10) and KLANG_PLAY_SECONDS (15) the measuring.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${KLANG_BUILD_DIR:-$root/build-release}")
rounds=${KLANG_CPU_ROUNDS:-3}
idle_seconds=${KLANG_IDLE_SECONDS:-10}
play_seconds=${KLANG_PLAY_SECONDS:-15}
exe=$build/klangdeck
[ -x "$exe" ] || { echo "system_cpu: no program at $exe (scripts/build first)" >&2; exit 1; }
for tool in Xvfb dbus-daemon pulseaudio pactl parec audacious audtool qmmp xdotool sox lame; do
    command -v "$tool" >/dev/null || { echo "system_cpu: $tool is missing (scripts/deps)" >&2; exit 1; }
done

media=$build/bench-media
mkdir -p "$media"
track=$media/system-cpu-90s-192k.mp3
if [ ! -s "$track" ]; then
    sox -q -n -r 44100 -c 2 -b 16 "$media/system-cpu.wav" synth 90 pinknoise vol 0.2 \
        synth 90 sine mix 220 synth 90 sine mix 330 tremolo 0.5 40
    lame --quiet -b 192 "$media/system-cpu.wav" "$track"
    rm "$media/system-cpu.wav"
fi

tmp=$(mktemp -d)
xpid="" dbuspid="" player=""
cleanup() {
    private_pulse_stop
    for p in $player $dbuspid $xpid; do
        kill "$p" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# A home of its own: the players' settings, the server's cookie and socket.
source "$root/bench/lib/private-pulse.bash"
private_pulse_start "$tmp"
unset SDL_AUDIODRIVER QT_QPA_PLATFORM

source "$root/scripts/lib/display.bash"
display_start
xpid=$display_pid

dbus-daemon --session --fork --print-address=1 --print-pid=1 >"$tmp/dbus"
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$tmp/dbus")
dbuspid=$(sed -n 2p "$tmp/dbus")

# Qmmp would take the ALSA plug-in; Audacious picks PulseAudio itself.
mkdir -p "$HOME/.qmmp"
printf '[Output]\ncurrent_plugin=pulse\n' >"$HOME/.qmmp/qmmprc"

# Nanoseconds on a CPU of all threads of a process: finer than the clock
# ticks of /proc/PID/stat, which would round an idle player to 0.1 %.
cpu() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ n += $1 } END { printf "%d", n }'; }
# Per-cent shares of one core of the player, the server and X over $1 s.
measure() {
    local a0 b0 c0 a1 b1 c1 w0 w1
    a0=$(cpu "$player") b0=$(cpu "$pulsepid") c0=$(cpu "$xpid") w0=$(date +%s.%N)
    sleep "$1"
    a1=$(cpu "$player") b1=$(cpu "$pulsepid") c1=$(cpu "$xpid") w1=$(date +%s.%N)
    awk -v a="$((a1 - a0))" -v b="$((b1 - b0))" -v c="$((c1 - c0))" -v w="$w0" -v v="$w1" \
        'BEGIN { s = 100 / 1e9 / (v - w); printf "%.2f %.2f %.2f %.2f", (a + b + c) * s, a * s, b * s, c * s }'
}
# The player's streams at the sound server that are not corked.
streams() {
    pactl list sink-inputs 2>/dev/null | awk -v pid="$player" '
        /^Sink Input/ { corked = 0 } /Corked: yes/ { corked = 1 }
        /application.process.id/ { gsub(/"/, "", $3); if ($3 == pid && !corked) n++ }
        END { print n + 0 }'
}
# The RMS level on the null sink's monitor over half a second.
level() {
    timeout 1 parec -d bench.monitor --raw --format=s16le --channels=2 --rate=44100 >"$tmp/monitor.raw" || true
    head -c 88200 "$tmp/monitor.raw" >"$tmp/level.raw"
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$tmp/level.raw" -n stat 2>&1 |
        awk '/RMS +amplitude/ { print $3 }'
}
await() {
    for _ in $(seq 1 200); do
        kill -0 "$player" 2>/dev/null || { echo "system_cpu: $name ended:" >&2; tail -n 20 "$tmp/$name.log" >&2; exit 1; }
        "$@" && return 0
        sleep 0.1
    done
    echo "system_cpu: $name: timed out waiting for $*" >&2
    exit 1
}
window_shown() { xdotool search --all --onlyvisible --pid "$player" --name "$1" >/dev/null 2>&1; }
klangdeck_ready() { window_shown '^Klangdeck$' && ! window_shown '^SplashForm$'; }
playing() { [ "$(streams)" -gt 0 ]; }

run() {
    name=$1
    case $name in
    klangdeck) "$exe" >"$tmp/$name.log" 2>&1 & ;;
    audacious) audacious >"$tmp/$name.log" 2>&1 & ;;
    qmmp) qmmp >"$tmp/$name.log" 2>&1 & ;;
    esac
    player=$!
    case $name in
    klangdeck) await klangdeck_ready ;;
    *) await window_shown '.' ;;
    esac
    sleep 3
    local idle_streams idle
    idle_streams=$(streams)
    idle=$(measure "$idle_seconds")
    case $name in
    klangdeck) "$root/scripts/open-track" "$player" "$track" ;;
    audacious) audacious -p "$track" ;;
    qmmp) qmmp "$track" ;;
    esac
    await playing
    # A new stream on a null sink may wait a moment for the sink's clock.
    sleep 2
    local rms
    rms=$(level)
    awk -v r="${rms:-0}" 'BEGIN { exit !(r > 0.01) }' ||
        { echo "system_cpu: $name: no sound on the sink (RMS ${rms:-none})" >&2; exit 1; }
    local play
    play=$(measure "$play_seconds")
    playing || { echo "system_cpu: $name stopped playing" >&2; exit 1; }
    kill -TERM "$player"
    for _ in $(seq 1 50); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$player" 2>/dev/null || true
    wait "$player" 2>/dev/null || true
    player=""
    echo "$name $idle $play $idle_streams $rms" >>"$tmp/results"
    printf '  %-10s idle %s  playing %s  (streams while idle: %s, RMS playing: %s)\n' \
        "$name" "$(cut -d' ' -f1 <<<"$idle")" "$(cut -d' ' -f1 <<<"$play")" "$idle_streams" "$rms"
}

players=(klangdeck audacious qmmp)
echo "system_cpu: $rounds rounds, ${idle_seconds} s idle and ${play_seconds} s playing each"
for ((r = 0; r < rounds; r++)); do
    for ((i = 0; i < ${#players[@]}; i++)); do
        run "${players[$(((i + r) % ${#players[@]}))]}"
    done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column() { awk -v n="$1" -v c="$2" '$1 == n { print $c }' "$tmp/results" | median; }
printf '\nShare of one core, median of %s rounds: total (player / sound server / X server)\n' "$rounds"
printf '%-10s %-32s %-32s\n' player "idle, window shown" "playing 192 kbit/s MP3"
for name in "${players[@]}"; do
    printf '%-10s %-32s %-32s\n' "$name" \
        "$(printf '%.2f %% (%.2f / %.2f / %.2f)' "$(column "$name" 2)" "$(column "$name" 3)" "$(column "$name" 4)" "$(column "$name" 5)")" \
        "$(printf '%.2f %% (%.2f / %.2f / %.2f)' "$(column "$name" 6)" "$(column "$name" 7)" "$(column "$name" 8)" "$(column "$name" 9)")"
done
echo "Goal: klangdeck at or below audacious, idle and playing; klangdeck idle under 0.2 %"
