#!/usr/bin/env bash
# Runs the engine's PulseAudio output tests against a sound server of their
# own with a null sink (tests/engine/sound-server.sh), so that the machine's
# sound set-up is neither needed nor disturbed: on PulseAudio, then on
# PipeWire's PulseAudio service when PipeWire is installed.
#   tests/engine/pulse.sh ENGINE_TESTS
# Exits 77 (skipped) without pulseaudio and pactl.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tests=$1
shift
if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null || ! command -v parec >/dev/null; then
    echo "pulse.sh: no pulseaudio, pactl and parec, skipped"
    exit 77
fi
# KLANG_SOUND_SERVERS=pulse limits the runs to PulseAudio.
kinds=(pulse)
if [ "${KLANG_SOUND_SERVERS:-pulse pipewire}" = pulse ]; then
    echo "pulse.sh: PulseAudio only, as KLANG_SOUND_SERVERS asks"
elif command -v pipewire >/dev/null && command -v pipewire-pulse >/dev/null && command -v wireplumber >/dev/null &&
    command -v dbus-daemon >/dev/null; then
    kinds+=(pipewire)
else
    echo "pulse.sh: no PipeWire, WirePlumber and D-Bus: PulseAudio only"
fi
session=$(mktemp -d)
trap '"$here/sound-server.sh" stop "$session"; rm -rf "$session"' EXIT
unset SDL_AUDIODRIVER
for kind in "${kinds[@]}"; do
    echo "pulse.sh: on $kind"
    eval "$("$here/sound-server.sh" start "$session" "$kind")"
    KLANG_TEST_PULSE=1 KLANG_TEST_SERVER="$here/sound-server.sh" KLANG_TEST_SERVER_DIR="$session" \
        "$tests" --gtest_filter='PulseOutput*' "$@"
    "$here/sound-server.sh" stop "$session"
done
