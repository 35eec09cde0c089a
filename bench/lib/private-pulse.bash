# Sourced by the benchmarks: a PulseAudio daemon of their own whose only
# sink is the null sink "bench", with a home and runtime folder of its own
# (tests/engine/sound-server.sh), so that the machine's sound set-up is
# neither used nor disturbed.
#   private_pulse_start DIR  exports HOME, XDG_* and PULSE_RUNTIME_PATH under
#                            DIR and starts the daemon; its pid in $pulsepid
#   private_pulse_stop
pulsepid=""
pulsedir=""
sound_server=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tests/engine" && pwd)/sound-server.sh

private_pulse_start() {
    pulsedir=$1
    local env
    env=$("$sound_server" start "$pulsedir" pulse) || return 1
    eval "$env"
    pulsepid=$(cat "$pulsedir/pulse.pid")
}

private_pulse_stop() {
    [ -n "$pulsedir" ] || return 0
    "$sound_server" stop "$pulsedir"
    pulsepid="" pulsedir=""
}
