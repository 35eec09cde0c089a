#!/usr/bin/env bash
# What a listener hears of a seek and of a track change: the engine's
# listening tests (tests/engine/OutputHeard_test.cpp) record a private
# server's null sink while a signal plays whose samples tell their frame
# number, and report the silence after each seek's first new sample and
# between two tracks. On PulseAudio, then on PipeWire when it is installed.
# KLANG_BUILD_DIR picks the build (default build-release); KLANG_HEARD_ROUNDS
# (3) how often each runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${KLANG_BUILD_DIR:-$root/build-release}")
rounds=${KLANG_HEARD_ROUNDS:-3}
tests=$build/engine_tests
[ -x "$tests" ] || { echo "output_heard: no engine tests at $tests (scripts/build first)" >&2; exit 1; }
server=$root/tests/engine/sound-server.sh
kinds=(pulse)
command -v pipewire-pulse >/dev/null && command -v wireplumber >/dev/null && kinds+=(pipewire)
session=$(mktemp -d)
trap '"$server" stop "$session"; rm -rf "$session"' EXIT
unset SDL_AUDIODRIVER
for kind in "${kinds[@]}"; do
    (
        eval "$("$server" start "$session" "$kind")"
        for _ in $(seq 1 "$rounds"); do
            KLANG_TEST_PULSE=1 "$tests" \
                --gtest_filter='PulseOutputHeard.ASeek*:PulseOutputHeard.ATrackStarted*' | grep '^heard: ' || true
        done
    ) | sed "s/^heard: /$kind: /" | sort | uniq -c
    "$server" stop "$session"
done
