# Sourced by the tests that drive the Windows program under Wine: a virtual
# X display of their own and the program's windows on it. Needs $work.

# Starts Xvfb on a free display (it picks the number); exports DISPLAY.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xpid=$!
    local _
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=:$(cat "$work/display")
}

stop_display() {
    [ -n "${xpid:-}" ] && kill "$xpid" 2>/dev/null || true
    xpid=""
}

# The X windows of the program's top-level windows titled $1 that are mapped.
mapped() {
    local w
    for w in $(xwininfo -root -tree 2>/dev/null | awk -v t="\"$1\":" 'index($0, t) {print $1}'); do
        xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$w"
    done
    return 0
}

# Waits up to 120 s for the main window of the program $pid, the splash
# gone; its X window in $main, the first splash window seen in $splash and
# what the desktop learns of that window (its state and whether it is
# managed at all) in $splash_wm.
await_main_window() {
    local _
    splash="" splash_wm="" main=""
    for _ in $(seq 1 1200); do
        kill -0 "$pid" 2>/dev/null || return 1
        if [ -z "$splash" ]; then
            splash=$(mapped SplashForm | head -1)
            [ -n "$splash" ] &&
                splash_wm=$(xwininfo -id "$splash" -wm 2>/dev/null; xprop -id "$splash" _NET_WM_STATE 2>/dev/null || true)
        fi
        main=$(mapped Klangdeck | head -1)
        [ -n "$main" ] && [ -z "$(mapped SplashForm)" ] && return 0
        main=""
        sleep 0.1
    done
    return 1
}

# Alt+F4 to the main window; the program must end with status 0 within 60 s.
close_with_alt_f4() {
    xdotool key --window "$main" alt+F4
    wait_exit "$pid" 60 || { echo "the program still runs 60 s after Alt+F4" >&2; return 1; }
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || { echo "the program ended with status $status after Alt+F4" >&2; return 1; }
}
