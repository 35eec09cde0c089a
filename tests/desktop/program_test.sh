#!/usr/bin/env bash
# The program's media player service on a private session bus: it appears
# once the window is up, says what it is, and Quit ends the program with
# status 0. Without a session bus the program starts and says nothing of it.
#   program_test.sh KLANGDECK
set -euo pipefail
exe=$1
work=$(mktemp -d)
. "$(dirname "$0")/session.sh"
trap 'kill_program; stop_bus; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# No session bus: the program runs as before, silently.
(
    # Neither an address, nor a display to start a bus for, nor a runtime
    # folder with a bus socket.
    unset DBUS_SESSION_BUS_ADDRESS DISPLAY
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR=$work/runtime
    start_program "$exe"
    sleep 4
    kill -0 "$prog_pid" 2>/dev/null || fail "the program did not keep running without a session bus"
    grep -qi 'dbus' "$work/program.log" && fail "the program spoke of D-Bus without a session bus"
    kill_program
)

start_bus
start_program "$exe"
await_service
mpris_get "" Identity | grep -q '"Klangdeck"' || fail "Identity is not Klangdeck"
mpris_get "" DesktopEntry | grep -q '"klangdeck"' || fail "DesktopEntry is not klangdeck"
mpris_get Player PlaybackStatus | grep -q '"Stopped"' || fail "a fresh program is not Stopped"
quit_program
echo "ok"
