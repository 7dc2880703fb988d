#!/usr/bin/env bash
# End to end: the real tunelark binary under Xvfb, playing the local Icecast MP3 mount into a
# PulseAudio null sink. Checks what a person would notice: the 440 Hz tone is heard, a title
# pushed during the run reaches the title log, a second start leaves the first alone, and
# SIGTERM closes the player with its settings written.
#
#   player_e2e.sh TUNELARK_BINARY
set -euo pipefail

binary=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
services=$here/../services
work=$(mktemp -d /tmp/tunelark-e2e.XXXXXX)
chmod 755 "$work"
pids=()

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    bash "$services/icecast.sh" stop "$work/icecast" >/dev/null 2>&1 || true
    bash "$services/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true
    if [ -n "${KEEP_E2E:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

port=$(free_port)
bash "$services/icecast.sh" start "$work/icecast" "$port" >/dev/null
eval "export $(bash "$services/pulse.sh" start "$work/pulse" | grep '^PULSE_SERVER=')"

# Xvfb picks a free display itself and writes its number, so parallel runs never share one.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=:$(head -n1 "$work/display")
for _ in $(seq 1 100); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display

app=$work/app
mkdir -p "$app"
cp "$binary" "$app/tunelark"
# The favourites as installed: start-up restores a selection, but the play-on-start press
# still plays the last address as stored.
cp "$here/../../assets/stations.xml" "$app/stations.xml"
cat >"$app/config.ini" <<INI
[General]
x=40
y=50
PlayOnStart=1
log=1
Volume=10
[Last]
Url=http://127.0.0.1:$port/live.mp3
Info=Started from config
INI

export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset SDL_AUDIODRIVER QT_QPA_PLATFORM

parec -d ci_null.monitor --file-format=wav "$work/heard.wav" &
parec_pid=$!
pids+=($parec_pid)
sleep 0.7

"$app/tunelark" >"$work/tunelark.log" 2>&1 &
player=$!
pids+=($player)

# Wait for sound to reach the sink (the log of the run tells why when it does not).
sleep 6
kill -0 "$player" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }

# A second start while the first runs ends silently without touching the first.
timeout 20 "$app/tunelark" >/dev/null 2>&1 || fail "the second instance did not exit cleanly"
kill -0 "$player" 2>/dev/null || fail "the first instance died when a second one started"

title="E2E Artist - Song $port"
bash "$services/icecast.sh" title "$work/icecast" "$port" /live.mp3 "$title"
for _ in $(seq 1 100); do
    grep -qF "; $title" "$app/Tunelark.log" 2>/dev/null && break
    sleep 0.2
done
grep -qF "; $title" "$app/Tunelark.log" || fail "the title log has no line for '$title'"
grep -qE "^[0-9]{2}\.[0-9]{2}\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}; $title"$'\r'"$" "$app/Tunelark.log" \
    || fail "the title log line has the wrong form: $(tail -n1 "$app/Tunelark.log")"

import -window root "$work/screen.png" 2>/dev/null || true

kill -TERM "$player"
for _ in $(seq 1 100); do kill -0 "$player" 2>/dev/null || break; sleep 0.1; done
kill -0 "$player" 2>/dev/null && fail "SIGTERM did not close the player"
wait "$player" || true

kill -TERM "$parec_pid" 2>/dev/null || true
wait "$parec_pid" 2>/dev/null || true

# The settings written at close.
grep -q "^Url=http://127.0.0.1:$port/live.mp3" "$app/config.ini" || fail "config.ini lost Last Url"
for key in StationsX StationsW Volume ontop LastStation Category ServiceIndex VisualizationType; do
    grep -qi "^$key=" "$app/config.ini" || fail "config.ini has no $key after close"
done
grep -q "^PlayOnStart=1" "$app/config.ini" || fail "config.ini lost a key it does not write"

# What was heard: a loud enough 440 Hz tone in the middle of the recording.
stats=$(sox "$work/heard.wav" -n remix 1 trim 3 2 stat 2>&1)
rms=$(awk '/RMS +amplitude/ {print $3}' <<<"$stats")
freq=$(awk '/Rough +frequency/ {print $3}' <<<"$stats")
awk -v r="$rms" 'BEGIN { exit !(r > 0.02) }' || fail "the sink was silent (RMS $rms)"
awk -v f="$freq" 'BEGIN { exit !(f > 400 && f < 480) }' || fail "heard $freq Hz, not 440 Hz"

echo "heard ${freq} Hz at RMS ${rms}; title logged; settings written"
echo "1 passed, 0 failed"
