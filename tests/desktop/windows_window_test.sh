#!/usr/bin/env bash
# The Windows program under Wine, as a user meets it: on a virtual display of
# its own and a private PulseAudio server (Wine's audio reaches it through
# XDG_RUNTIME_DIR), it starts with its splash, which has no taskbar entry;
# then in its main window a drive of two tracks is chosen in the tree by key
# presses and the first track played: it plays to its end and the second, a
# FLAC file, follows (the default play mode); a click on the seek bar while
# the FLAC file's first half plays skips most of it. Everything is heard on
# the null sink's monitor and told apart by pitch: 440 Hz, then the FLAC
# file's 880 Hz and 660 Hz halves. Alt+F4 ends the program with status 0.
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

# An MP3 with a tag (2 s) and a FLAC file of two halves (4 s each).
mkdir "$work/music"
sox -q -n -r 44100 -c 2 -b 16 "$work/a.wav" synth 2 sine 440 vol 0.5
sox -q -n -r 44100 -c 2 -b 16 "$work/b1.wav" synth 4 sine 880 vol 0.5
sox -q -n -r 44100 -c 2 -b 16 "$work/b2.wav" synth 4 sine 660 vol 0.5
sox -q "$work/b1.wav" "$work/b2.wav" "$work/b.wav"
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

# What was heard so far, a pitch per tenth of a second with a count of its
# tenths, in order: "440:20 880:15 660:12". Pitches come from zero
# crossings; silent tenths are left out.
heard() {
    python3 - "$work/sound.raw" <<'PY'
import array, sys
samples = array.array("h")
with open(sys.argv[1], "rb") as f:
    data = f.read()
samples.frombytes(data[:len(data) // 2 * 2])
block = 4410
runs = []
for start in range(0, len(samples) - block, block):
    part = samples[start:start + block]
    if max(abs(min(part)), max(part)) < 1000:
        continue
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    hz = round(crossings * 5 / 110) * 110
    if runs and runs[-1][0] == hz:
        runs[-1][1] += 1
    else:
        runs.append([hz, 1])
print(" ".join(f"{hz}:{n}" for hz, n in runs))
PY
}

# Once the FLAC file is heard, a click on the seek bar at 85 % of its way
# (the bar runs along the window's foot, from about a fifth of its width to
# its right edge): the 880 Hz half ends early and the 660 Hz half plays
# from 6.8 s.
for _ in $(seq 1 300); do
    [[ " $(heard) " == *" 880:"* ]] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended while playing"
    sleep 0.1
done
[[ " $(heard) " == *" 880:"* ]] || fail "the FLAC file was not heard within 30 s (heard: $(heard))"
eval "$(xwininfo -id "$main" | awk '/Width:/ {print "width=" $2} /Height:/ {print "height=" $2}')"
xdotool mousemove --window "$main" $((width - 100)) $((height - 18)) click 1

# The rest of the FLAC file (1.2 s), and its end, generously.
sleep 6
kill -0 "$pid" 2>/dev/null || fail "the program ended while playing"
kill "$recpid"
wait "$recpid" 2>/dev/null || true
recpid=""
runs=$(heard)
echo "heard (Hz:tenths): ${runs:-nothing}"
[[ " $runs " =~ \ 440:[0-9]+\ (.*\ )?880:([0-9]+)\ (.*\ )?660:([0-9]+)\  ]] ||
    fail "not the first track to its end, then the FLAC file's halves (heard: ${runs:-silence})"
# Unsought, the 880 Hz half lasts 40 tenths and the 660 Hz half as long.
(( BASH_REMATCH[2] < 30 && BASH_REMATCH[4] < 25 )) ||
    fail "the click on the seek bar did not skip most of the FLAC file (heard: $runs)"

close_with_alt_f4 || fail "no clean end"
echo "ok"
