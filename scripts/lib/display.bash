# Sourced by every script that needs a virtual X display.
#
# display_start [WxHxD]: starts a private Xvfb (1280x800x24 by default) and
#   exports DISPLAY; display_pid is the server's process. Xvfb picks a free
#   display number itself (-displayfd) and reports it only once it accepts
#   connections, so scripts running side by side never race for a number
#   and nothing connects too early (xvfb-run -a guesses a free number and
#   waits a fixed time, which fails on a loaded machine).
# display_stop: ends that server.
display_pid=""

display_start() {
    local screen=${1:-1280x800x24} pipe number=""
    pipe=$(mktemp -d)
    mkfifo "$pipe/display"
    # The number arrives through the pipe; the pipe ends without one when
    # Xvfb fails.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$pipe/display" 2>"$pipe/log" &
    display_pid=$!
    read -r -t 120 number <"$pipe/display" || true
    if ! [[ "$number" =~ ^[0-9]+$ ]]; then
        echo "display_start: Xvfb did not start:" >&2
        cat "$pipe/log" >&2
        rm -rf "$pipe"
        display_stop
        return 1
    fi
    rm -rf "$pipe"
    export DISPLAY=:$number
    unset XAUTHORITY
}

display_stop() {
    [ -n "$display_pid" ] || return 0
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
    display_pid=""
}
