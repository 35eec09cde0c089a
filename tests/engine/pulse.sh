#!/usr/bin/env bash
# Runs the engine's PulseAudio output tests against a PulseAudio daemon of
# their own (a null sink), so that the machine's sound set-up is neither
# needed nor disturbed.
#   tests/engine/pulse.sh ENGINE_TESTS
# Exits 77 (skipped) without pulseaudio and pactl.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tests=$1
shift
if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
    echo "pulse.sh: no pulseaudio and pactl, skipped"
    exit 77
fi
session=$(mktemp -d)
source "$root/bench/lib/private-pulse.bash"
trap 'private_pulse_stop; rm -rf "$session"' EXIT
private_pulse_start "$session"
unset SDL_AUDIODRIVER
KLANG_TEST_PULSE=1 "$tests" --gtest_filter='PulseOutput.*' "$@"
