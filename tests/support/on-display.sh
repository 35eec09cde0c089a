#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (Xvfb, which picks a free
# display number), for the Windows Qt suites under Wine: Qt has no offscreen
# platform there, and Wine shows windows through X.
#   on-display.sh COMMAND [ARG]...
set -euo pipefail
fd=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd" 2>/dev/null &
xpid=$!
trap 'kill "$xpid" 2>/dev/null || true; rm -f "$fd"' EXIT
for _ in $(seq 1 300); do
    [ -s "$fd" ] && break
    kill -0 "$xpid" 2>/dev/null || { echo "on-display.sh: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(cat "$fd") "$@"
