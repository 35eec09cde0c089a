# Shell helpers for the tests that run the whole program: a private D-Bus
# session bus, the program on it, and the media player service as the
# desktop sees it. Sourced; needs dbus-daemon and dbus-send.

source "$(dirname "${BASH_SOURCE[0]}")/../support/wait-exit.bash"

# Starts a dbus-daemon of our own; exports its address, remembers its pid.
start_bus() {
    local out
    out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
    bus_pid=$(sed -n 2p <<<"$out")
    export DBUS_SESSION_BUS_ADDRESS
}

stop_bus() {
    [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null || true
    bus_pid=""
}

# Starts the program (its path in $1) in the background; $prog_pid is its pid.
start_program() {
    "$1" >"$work/program.log" 2>&1 &
    prog_pid=$!
}

# Ends the program if it still runs.
kill_program() {
    if [ -n "${prog_pid:-}" ] && kill -0 "$prog_pid" 2>/dev/null; then
        kill -KILL "$prog_pid" 2>/dev/null || true
        wait "$prog_pid" 2>/dev/null || true
    fi
    prog_pid=""
}

fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/program.log" ] && sed 's/^/  program: /' "$work/program.log" >&2
    exit 1
}

mpris=org.mpris.MediaPlayer2
# dbus-send to the player's object; prints the reply.
mpris_send() { dbus-send --session --print-reply --reply-timeout=10000 --dest=$mpris.klangdeck /org/mpris/MediaPlayer2 "$@"; }
# A property of an interface ("" for the root one): mpris_get Player PlaybackStatus
mpris_get() { mpris_send org.freedesktop.DBus.Properties.Get "string:$mpris${1:+.$1}" "string:$2"; }

# Waits up to 60 s for the program to take its name on the bus.
await_service() {
    for _ in $(seq 1 600); do
        kill -0 "$prog_pid" 2>/dev/null || fail "the program ended before its service appeared"
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:$mpris.klangdeck 2>/dev/null | grep -q 'boolean true' && return 0
        sleep 0.1
    done
    fail "no $mpris.klangdeck on the bus within 60 s"
}

# Waits up to 10 s for the player to report the status in $1 ("Playing", ...).
await_status() {
    for _ in $(seq 1 100); do
        mpris_get Player PlaybackStatus | grep -q "\"$1\"" && return 0
        sleep 0.1
    done
    return 1
}

# Calls Quit and expects the program to end with status 0 within 30 s.
quit_program() {
    mpris_send $mpris.Quit >/dev/null || fail "Quit was not answered"
    wait_exit "$prog_pid" 30 || fail "the program still runs 30 s after Quit"
    local status=0
    wait "$prog_pid" || status=$?
    prog_pid=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status after Quit"
}

# Whether the running program has a file of this path mapped (a library it loaded).
has_mapped() { grep -qF -- "$1" "/proc/$prog_pid/maps"; }
