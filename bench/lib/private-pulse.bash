# Sourced by the benchmarks: a PulseAudio daemon of their own whose only
# sink is the null sink "bench", with a home and runtime folder of its own,
# so that the machine's sound set-up is neither used nor disturbed.
#   private_pulse_start DIR  exports HOME, XDG_* and PULSE_RUNTIME_PATH under
#                            DIR and starts the daemon; its pid in $pulsepid
#   private_pulse_stop
pulsepid=""

private_pulse_start() {
    local dir=$1
    mkdir -p "$dir/home" "$dir/run"
    chmod 700 "$dir/run"
    export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_RUNTIME_PATH=$dir/run/pulse
    export XDG_CONFIG_HOME=$dir/home/.config XDG_DATA_HOME=$dir/home/.local/share XDG_CACHE_HOME=$dir/home/.cache
    unset PULSE_SERVER
    # -n: no configuration file, only these modules. As root the daemon
    # warns and runs; --system would be another thing altogether.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --log-target=file:"$dir/pulse.log" \
        -L "module-null-sink sink_name=bench rate=44100 sink_properties=device.description=Bench" \
        -L module-native-protocol-unix &
    pulsepid=$!
    for _ in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "PulseAudio did not start (see $dir/pulse.log)" >&2
    return 1
}

private_pulse_stop() {
    [ -n "$pulsepid" ] || return 0
    kill "$pulsepid" 2>/dev/null || true
    wait "$pulsepid" 2>/dev/null || true
    pulsepid=""
}
