#!/usr/bin/env bash
# A private sound server for the output's tests: PulseAudio, or PipeWire
# with its PulseAudio service (and WirePlumber on a D-Bus of its own), with
# the null sink "bench" as its default sink.
#   sound-server.sh start DIR pulse|pipewire   DIR holds its runtime folder
#                                              and pid files; prints the
#                                              environment to use (eval it)
#   sound-server.sh stop DIR
#   sound-server.sh pause DIR / resume DIR     stops it / starts it again
#   sound-server.sh freeze DIR / thaw DIR      holds the process that
#                                              answers the clients (SIGSTOP)
#                                              / lets it go on
# Only processes started here are ever stopped, by their pids.
set -euo pipefail

# Waits up to 15 s until the server answers and, with an argument, until
# that text is in its answer.
wait_for_server() {
    local until=$((SECONDS + 15))
    while [ $SECONDS -lt $until ]; do
        local info
        info=$(timeout 5 pactl info 2>/dev/null) && [[ $info == *"${1:-Server Name}"* ]] && return 0
        sleep 0.1
    done
    return 1
}

# A new server can answer before its graph plays (WirePlumber still linking
# PipeWire's nodes, a loaded machine): ready once the sink's monitor
# delivers a tenth of a second of sound.
wait_for_sink() {
    local bytes
    for _ in 1 2 3 4; do
        bytes=$(timeout 15 parec -d bench.monitor --raw 2>/dev/null | head -c 17640 | wc -c) || true
        [ "${bytes:-0}" -ge 17640 ] && return 0
    done
    echo "sound-server.sh: the sink does not play (see $dir/*.log)" >&2
    return 1
}

start_pipewire() {
    rm -f "$XDG_RUNTIME_DIR/pipewire-0"
    launch pipewire pipewire
    # WirePlumber gives up when PipeWire does not answer yet (a loaded
    # machine), and without it no stream is ever linked to the sink.
    for _ in $(seq 1 200); do
        [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
        sleep 0.05
    done
    launch wireplumber wireplumber
    launch pipewire-pulse pipewire-pulse
    wait_for_server "Default Sink: bench"
}

launch() {
    local name=$1
    shift
    "$@" >>"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
}

start() {
    mkdir -p "$dir/home" "$dir/run"
    chmod 700 "$dir/run"
    export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_RUNTIME_PATH=$dir/run/pulse
    export XDG_CONFIG_HOME=$dir/home/.config XDG_DATA_HOME=$dir/home/.local/share XDG_CACHE_HOME=$dir/home/.cache
    unset PULSE_SERVER
    case $(cat "$dir/kind") in
    pulse)
        launch pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
            -L "module-null-sink sink_name=bench rate=44100 sink_properties=device.description=Bench" \
            -L module-native-protocol-unix
        wait_for_server || {
            echo "sound-server.sh: no server (see $dir/*.log)" >&2
            return 1
        }
        ;;
    pipewire)
        if [ ! -s "$dir/bus" ]; then
            launch dbus dbus-daemon --session --nofork --print-address=3 3>"$dir/bus"
            for _ in $(seq 1 50); do [ -s "$dir/bus" ] && break; sleep 0.1; done
        fi
        export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$dir/bus")
        # The graph at the sink's rate: what is recorded is what was played,
        # not resampled twice. The null sink is part of the server's own
        # set-up, as a machine's sound card is: a client that reconnects the
        # moment the server answers finds it there, never another sink.
        mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
        cat >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/bench.conf" <<'CONF'
context.properties = { default.clock.rate = 44100 }
context.objects = [
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = bench node.description = Bench
               media.class = Audio/Sink audio.rate = 44100 audio.position = [ FL FR ]
               monitor.channel-volumes = true } }
]
CONF
        # WirePlumber now and then never links a node while it starts on a
        # loaded machine ("pending linkable(s) not activated"), and the
        # sink never becomes the default: then the stack starts again.
        local attempt
        for attempt in 1 2 3; do
            start_pipewire && return 0
            echo "sound-server.sh: PipeWire's sink is not the default (attempt $attempt, see $dir/*.log)" >&2
            stop_servers
        done
        return 1
        ;;
    esac
}

# A process that has ended may wait a moment as a zombie for whoever
# adopted it to reap it.
running() {
    kill -0 "$1" 2>/dev/null && [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" != Z ]
}

# A process that has not ended 5 s after SIGTERM is killed.
stop_servers() {
    local name pid
    for name in pipewire-pulse wireplumber pipewire pulse; do
        [ -f "$dir/$name.pid" ] || continue
        pid=$(cat "$dir/$name.pid")
        kill -TERM "$pid" 2>/dev/null || true
        kill -CONT "$pid" 2>/dev/null || true
        for _ in $(seq 1 100); do
            running "$pid" || break
            sleep 0.05
        done
        if running "$pid"; then
            echo "sound-server.sh: $name did not end, killed" >&2
            kill -KILL "$pid" 2>/dev/null || true
        fi
        rm -f "$dir/$name.pid"
    done
}

# The process the clients talk to.
answering() {
    if [ -f "$dir/pipewire-pulse.pid" ]; then cat "$dir/pipewire-pulse.pid"; else cat "$dir/pulse.pid"; fi
}

command=$1
dir=$2
case $command in
start)
    mkdir -p "$dir"
    echo "$3" >"$dir/kind"
    start
    wait_for_sink
    echo "export HOME='$HOME' XDG_RUNTIME_DIR='$XDG_RUNTIME_DIR' PULSE_RUNTIME_PATH='$PULSE_RUNTIME_PATH'"
    echo "export XDG_CONFIG_HOME='$XDG_CONFIG_HOME' XDG_DATA_HOME='$XDG_DATA_HOME' XDG_CACHE_HOME='$XDG_CACHE_HOME'"
    echo "unset PULSE_SERVER"
    ;;
stop)
    stop_servers
    if [ -f "$dir/dbus.pid" ]; then
        kill "$(cat "$dir/dbus.pid")" 2>/dev/null || true
        rm -f "$dir/dbus.pid" "$dir/bus"
    fi
    ;;
pause)
    stop_servers
    ;;
resume)
    start
    ;;
freeze)
    kill -STOP "$(answering)"
    ;;
thaw)
    kill -CONT "$(answering)"
    ;;
esac
