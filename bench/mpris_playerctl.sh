#!/usr/bin/env bash
# The desktop's media controls, driven by playerctl as a real client while
# the program plays into a private server's null sink (on an Xvfb display
# and a session bus of its own): over 20 seeks while playing, how often a
# poll of the status read "Stopped" and the position 0; whether a pause sent
# right after a seek pauses (10 times); and the volume: 0.5 read back, and
# the sink's RMS level at volume 1 and 0.5.
# KLANG_BUILD_DIR picks the build (default build-release); KLANG_SOUND_SERVER
# pulse (default) or pipewire.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${KLANG_BUILD_DIR:-$root/build-release}")
exe=$build/klangdeck
[ -x "$exe" ] || { echo "mpris_playerctl: no program at $exe (scripts/build first)" >&2; exit 1; }
for tool in Xvfb dbus-daemon playerctl parec sox xdotool; do
    command -v "$tool" >/dev/null || { echo "mpris_playerctl: $tool is missing (scripts/deps)" >&2; exit 1; }
done
tmp=$(mktemp -d)
server=$root/tests/engine/sound-server.sh
xpid="" player="" buspid=""
cleanup() {
    [ -n "$player" ] && kill -KILL "$player" 2>/dev/null || true
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
    [ -n "$buspid" ] && kill "$buspid" 2>/dev/null || true
    "$server" stop "$tmp"
    rm -rf "$tmp"
}
trap cleanup EXIT
eval "$("$server" start "$tmp" "${KLANG_SOUND_SERVER:-pulse}")"
exec 5>"$tmp/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xpid=$!
for _ in $(seq 1 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")
out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
buspid=$(sed -n 2p <<<"$out")
unset SDL_AUDIODRIVER
track=$tmp/ton.wav
sox -q -n -r 44100 -c 2 -b 16 "$track" synth 60 sine 440 vol 0.3
"$exe" >"$tmp/klangdeck.log" 2>&1 &
player=$!
"$root/scripts/open-track" "$player" "$track"
pc() { playerctl -p klangdeck "$@"; }
for _ in $(seq 1 100); do [ "$(pc status 2>/dev/null)" = Playing ] && break; sleep 0.1; done
sleep 1

# Polls status and position as fast as playerctl answers while seeking.
: >"$tmp/polls"
(while [ ! -e "$tmp/done" ]; do echo "$(pc status) $(pc position)" >>"$tmp/polls"; done) &
poller=$!
for i in $(seq 1 20); do
    pc position $(((i * 7) % 50 + 2))
    sleep 0.3
done
touch "$tmp/done"
wait "$poller"
polls=$(wc -l <"$tmp/polls")
stopped=$(grep -c '^Stopped' "$tmp/polls" || true)
zero=$(awk '$2 + 0 < 0.5' "$tmp/polls" | wc -l)
echo "20 seeks while playing: $polls polls, $stopped read Stopped, $zero read a position under 0.5 s"

paused=0
for i in $(seq 1 10); do
    pc position $((i * 3 + 1))
    pc pause
    sleep 0.3
    [ "$(pc status)" = Paused ] && paused=$((paused + 1))
    pc play
    sleep 0.3
done
echo "pause right after a seek: paused $paused of 10"

level() {
    timeout 2.5 parec -d bench.monitor --raw --format=s16le --channels=2 --rate=44100 >"$tmp/monitor.raw" || true
    tail -c 88200 "$tmp/monitor.raw" >"$tmp/level.raw"
    sox -t raw -r 44100 -e signed -b 16 -c 2 "$tmp/level.raw" -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'
}
full=$(level)
pc volume 0.5
sleep 1
echo "volume set to 0.5 reads back $(pc volume); sink RMS at volume 1: $full, at 0.5: $(level)"
pc stop
