# Sourced by the scripts that drive the real program.
# wait_exit PID SECONDS: succeeds once PID has ended, fails if it still runs
# after SECONDS (checked every 10 ms, so a quick end is timed closely).
wait_exit() {
    local pid=$1 i
    for ((i = 0; i < $2 * 100; i++)); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.01
    done
    ! kill -0 "$pid" 2>/dev/null
}
