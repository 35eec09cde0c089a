#!/usr/bin/env bash
# The Windows program under Wine, as a user meets it: on a virtual display of
# its own and a private PulseAudio server (Wine's audio reaches it through
# XDG_RUNTIME_DIR), it starts with its splash, which has no taskbar entry;
# then in its main window a drive of two short tracks is chosen in the tree by
# key presses and the first track played: it plays to its end and the second
# follows (the default play mode), both heard on the null sink's monitor,
# told apart by their pitch (440 Hz, then 880 Hz); Alt+F4 ends the program
# with status 0.
#   windows_window_test.sh WINE KLANGDECK_EXE
# WINEPREFIX names a prepared prefix (scripts/test-windows); drive Y: of it
# is set to the tracks' folder for the run. Exits 77 (skipped) without
# Xvfb, xdotool, PulseAudio or sox.
set -euo pipefail
wine=$1
exe=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb xdotool xwininfo xprop pulseaudio parec sox lame flac; do
    command -v "$tool" >/dev/null || { echo "windows_window_test: no $tool, skipped"; exit 77; }
done
: "${WINEPREFIX:?a Wine prefix}"
work=$(mktemp -d)
xpid="" pid="" recpid=""
source "$root/bench/lib/private-pulse.bash"
source "$root/tests/support/wait-exit.bash"
source "$root/tests/desktop/wine-display.bash"
cleanup() {
    for p in $recpid $pid; do kill "$p" 2>/dev/null || true; done
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/y:"
    private_pulse_stop
    stop_display
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    sed 's/^/  program: /' "$work/program.log" >&2 2>/dev/null || true
    exit 1
}

# Two tracks of two seconds, an MP3 with a tag and a FLAC file.
mkdir "$work/music"
sox -q -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 2 sine 440 vol 0.5
sox -q -n -r 44100 -c 2 -b 16 "$work/b.wav" synth 2 sine 880 vol 0.5
lame --quiet -b 128 --tt "Erster Ton" --ta Klangdeck "$work/a.wav" "$work/music/1 Eins.mp3"
flac --silent -o "$work/music/2 Zwei.flac" "$work/b.wav"
ln -sfn "$work/music" "$WINEPREFIX/dosdevices/y:"

start_display || fail "Xvfb did not start"

private_pulse_start "$work/pulse"
parec -d bench.monitor --format=s16le --rate=44100 --channels=1 --raw >"$work/sound.raw" &
recpid=$!

"$wine" "$exe" >"$work/program.log" 2>&1 &
pid=$!

await_main_window || fail "no main window within 120 s"
[ -n "$splash" ] || fail "no splash window was seen"
# No taskbar entry: the splash is either not managed by the desktop at all
# (override-redirect) or asks it to leave it out of the taskbar.
[[ $splash_wm == *"Override Redirect State: yes"* || $splash_wm == *_NET_WM_STATE_SKIP_TASKBAR* ]] ||
    fail "the splash window would have a taskbar entry"

# Into the tree, to its last drive (Z:, Wine's view of this machine), up to Y:;
# then into the list, its first row played.
xdotool windowfocus --sync "$main"
for k in Home End Up; do xdotool key "$k"; sleep 0.5; done
sleep 2
for k in Tab Down Return; do xdotool key "$k"; sleep 0.5; done
# A picture of the window while the first track plays, when asked for
# (scripts/screenshot-windows).
if [ -n "${KLANG_WINDOWS_SCREENSHOT:-}" ]; then
    import -window "$main" "$KLANG_WINDOWS_SCREENSHOT"
fi

# Both tracks (4 s) and the start of playing, generously.
sleep 12
kill -0 "$pid" 2>/dev/null || fail "the program ended while playing"
kill "$recpid"
wait "$recpid" 2>/dev/null || true
recpid=""

# Each tenth of a second of the recording by its pitch (zero crossings), in
# order, without repeats: 440 Hz, then 880 Hz, must be among them.
pitches=$(python3 - "$work/sound.raw" <<'PY'
import array, sys
samples = array.array("h")
with open(sys.argv[1], "rb") as f:
    samples.frombytes(f.read())
block = 4410
seen = []
for start in range(0, len(samples) - block, block):
    part = samples[start:start + block]
    if max(abs(min(part)), max(part)) < 1000:
        continue
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    hz = round(crossings * 5 / 110) * 110
    if not seen or seen[-1] != hz:
        seen.append(hz)
print(" ".join(map(str, seen)))
PY
)
echo "pitches heard: ${pitches:-none}"
[[ " $pitches " =~ \ 440\ (.*\ )?880\  ]] ||
    fail "not the first track to its end and then the second (heard: ${pitches:-silence})"

close_with_alt_f4 || fail "no clean end"
echo "ok"
