#!/usr/bin/env bash
# A private PulseAudio server whose default sink is a null sink "ci_null" (44100 Hz stereo);
# record what plays from "ci_null.monitor".
#
#   pulse.sh start DIR   start, wait until it answers, print PULSE_SERVER=unix:DIR/pulse.sock
#   pulse.sh stop DIR    stop the server started in DIR (by its PID in DIR/pids)
set -euo pipefail
source "$(dirname "$0")/pids.sh"

usage() {
    echo "usage: $0 start DIR | stop DIR" >&2
    exit 2
}

start() {
    mkdir -p "$1"
    local dir
    dir=$(cd "$1" && pwd)
    mkdir -p "$dir/xdg" "$dir/home"
    chmod 700 "$dir/xdg"
    cat >"$dir/ci.pa" <<PA
load-module module-null-sink sink_name=ci_null rate=44100 channels=2 sink_properties=device.description=CI_Null
load-module module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1
set-default-sink ci_null
set-default-source ci_null.monitor
PA
    HOME=$dir/home XDG_RUNTIME_DIR=$dir/xdg pulseaudio -n -F "$dir/ci.pa" --daemonize=no \
        --exit-idle-time=-1 --use-pid-file=no >"$dir/pulse.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
    for _ in $(seq 1 100); do
        if PULSE_SERVER=unix:$dir/pulse.sock pactl info >/dev/null 2>&1; then
            echo "PULSE_SERVER=unix:$dir/pulse.sock"
            return 0
        fi
        sleep 0.1
    done
    echo "pulseaudio did not start; see $dir/pulse.log" >&2
    stop "$dir"
    exit 1
}

stop() { stop_pids "$1"; }

case "${1:-}" in
start) [ $# -eq 2 ] || usage; start "$2" ;;
stop) [ $# -eq 2 ] || usage; stop "$2" ;;
*) usage ;;
esac
