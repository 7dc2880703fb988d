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

# The server in DIR answers a client. The client gets the same private home and runtime folder,
# so it never reads or autospawns anything of the user's or of another test's server.
answers() {
    HOME=$1/home XDG_RUNTIME_DIR=$1/xdg PULSE_SERVER=unix:$1/pulse.sock timeout 10 pactl info \
        >/dev/null 2>&1
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
    local pid=$!
    echo $pid >>"$dir/pids"
    if service_up "$pid" answers "$dir"; then
        echo "PULSE_SERVER=unix:$dir/pulse.sock"
        return 0
    fi
    echo "pulseaudio did not start within ${TL_SERVICE_DEADLINE} s; see $dir/pulse.log:" >&2
    tail -n 20 "$dir/pulse.log" >&2 || true
    stop "$dir"
    exit 1
}

stop() { stop_pids "$1"; }

case "${1:-}" in
start) [ $# -eq 2 ] || usage; start "$2" ;;
stop) [ $# -eq 2 ] || usage; stop "$2" ;;
*) usage ;;
esac
