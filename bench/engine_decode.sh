#!/usr/bin/env bash
# Decode throughput of the engine beside mpg123 and ffmpeg on the same
# 5-minute files (320 kbit/s MP3, Ogg Vorbis q6, 44.1 kHz WAV), in multiples
# of real time; then the engine's CPU share while playing and its time from
# BASS_ChannelPlay to the first sample handed to the output device, on the
# no-sound device and on a private PulseAudio daemon's null sink (the
# device open, and to be opened first). The files are generated once into
# the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KLANG_BUILD_DIR:-$root/build-release}
media=$build/bench-media
bench=$build/bench_engine_decode
seconds=300
mkdir -p "$media"
cd "$media"

if [ ! -s bench-300s-q6.ogg ]; then
  echo "generating 5-minute bench files in $media"
  # A chord with a slow tremolo over pink noise keeps the encoders busy.
  sox -q -n -r 44100 -c 2 -b 16 bench-300s.wav synth $seconds pinknoise vol 0.25 \
    synth $seconds sine mix 220 synth $seconds sine mix 330 tremolo 0.5 40
  lame --quiet -b 320 bench-300s.wav bench-300s-320k.mp3
  oggenc --quiet -q 6 -o bench-300s-q6.ogg bench-300s.wav
fi

# The least CPU time (user + system) of three runs of a command, in seconds:
# on a shared machine wall time measures the neighbours.
best_of_3() {
  local best=""
  for _ in 1 2 3; do
    local t
    { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>&1; } 2>"$media/.time"
    t=$(tail -1 "$media/.time" | awk '{print $1 + $2}')
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
  echo "$best"
}
realtime() { awk -v t="$1" -v s="$seconds" 'BEGIN { printf "%.1f", s / t }'; }

# A counter of the benchmark whose name starts with $2, from CSV output $1.
counter() {
  echo "$1" | awk -F, -v name="$2" -v col="$3" '
    NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); idx[$i] = i } next }
    { n = $1; gsub(/"/, "", n) }
    index(n, name) == 1 && !done { print $(idx[col]); done = 1 }'
}

csv=$(KLANG_BENCH_MEDIA=$media "$bench" --benchmark_filter='BM_Decode' --benchmark_format=csv 2>/dev/null)
engine_mp3=$(counter "$csv" BM_Decode/mp3_320k x_realtime)
engine_ogg=$(counter "$csv" BM_Decode/ogg_q6 x_realtime)
engine_wav=$(counter "$csv" BM_Decode/wav_44k x_realtime)

mpg123_mp3=$(realtime "$(best_of_3 mpg123 -q -t bench-300s-320k.mp3)")
ffmpeg_mp3=$(realtime "$(best_of_3 ffmpeg -nostdin -v error -threads 1 -i bench-300s-320k.mp3 -f null -)")
ffmpeg_ogg=$(realtime "$(best_of_3 ffmpeg -nostdin -v error -threads 1 -i bench-300s-q6.ogg -f null -)")
ffmpeg_wav=$(realtime "$(best_of_3 ffmpeg -nostdin -v error -threads 1 -i bench-300s.wav -f null -)")

printf '\nDecode throughput: seconds of audio per CPU second (5-minute files, one thread)\n'
printf '%-22s %10s %10s %10s\n' file engine "mpg123 -t" "ffmpeg"
printf '%-22s %10.1f %10s %10s\n' "MP3 320 kbit/s" "$engine_mp3" "$mpg123_mp3" "$ffmpeg_mp3"
printf '%-22s %10.1f %10s %10s\n' "Ogg Vorbis q6" "$engine_ogg" "-" "$ffmpeg_ogg"
printf '%-22s %10.1f %10s %10s\n' "WAV 44.1 kHz 16-bit" "$engine_wav" "-" "$ffmpeg_wav"
awk -v e="$engine_mp3" -v m="$mpg123_mp3" 'BEGIN { printf "engine / mpg123 on MP3: %.2f (goal: at least 0.85)\n", e / m }'

cpu=$(KLANG_BENCH_MEDIA=$media "$bench" --benchmark_filter='BM_PlayCpuShare' --benchmark_format=csv 2>/dev/null)
start=$(KLANG_BENCH_MEDIA=$media "$bench" --benchmark_filter='BM_PlayToFirstSample' --benchmark_format=csv 2>/dev/null)
printf '\nPlaying the MP3 on the no-sound device: %.2f %% of one core (goal: under 1 %%)\n' \
  "$(counter "$cpu" BM_PlayCpuShare cpu_pct_of_core)"
# The start on the default device: a PulseAudio daemon of our own.
sound=""
if command -v pulseaudio >/dev/null && command -v pactl >/dev/null; then
  session=$(mktemp -d)
  source "$root/bench/lib/private-pulse.bash"
  if (private_pulse_start "$session" >/dev/null 2>&1 && KLANG_BENCH_DEVICE=-1 KLANG_BENCH_MEDIA=$media \
      "$bench" --benchmark_filter='BM_PlayToFirstSample' --benchmark_format=csv 2>/dev/null >"$session/start.csv";
      status=$?; private_pulse_stop; exit $status); then
    sound=$(cat "$session/start.csv")
  fi
  rm -rf "$session"
fi
printf 'BASS_ChannelPlay to the first sample handed to the device (goal: under 20 ms open, 50 ms to be opened):\n'
printf '%-34s %18s %18s\n' "" "device open" "to be opened"
startline() {
  printf '%-34s %6.2f / %6.2f ms  %6.2f / %6.2f ms\n' "$1" \
    "$(counter "$2" BM_PlayToFirstSample/0 mean_ms)" "$(counter "$2" BM_PlayToFirstSample/0 max_ms)" \
    "$(counter "$2" BM_PlayToFirstSample/1 mean_ms)" "$(counter "$2" BM_PlayToFirstSample/1 max_ms)"
}
startline "no-sound device (mean / max)" "$start"
if [ -n "$sound" ]; then
  startline "PulseAudio null sink (mean / max)" "$sound"
else
  echo "PulseAudio null sink: not measured (no pulseaudio, or it did not start)"
fi
