#!/usr/bin/env bash
# End to end: the real tunelark binary under Xvfb, playing the local Icecast MP3 mount into a
# PulseAudio null sink on start. Checks what a person would notice: the 440 Hz tone is heard, a
# title pushed during the run reaches the title log, a second start leaves the first alone, and
# SIGTERM closes the player with its settings written.
#
#   player_e2e.sh TUNELARK_BINARY
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start "$1"

# The favourites as installed: start-up restores a selection, but the play-on-start press
# still plays the last address as stored.
cp "$e2e_here/../../assets/stations.xml" "$app/stations.xml"
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

e2e_record
e2e_run_player
sleep 6
kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }

# A second start while the first runs ends silently without touching the first.
(cd "$app" && timeout 20 ./tunelark >/dev/null 2>&1) || fail "the second instance did not exit cleanly"
kill -0 "$player_pid" 2>/dev/null || fail "the first instance died when a second one started"

e2e_expect_title_logged "E2E Artist - Song $port"
e2e_terminate_player
e2e_stop_recording

# The settings written at close.
grep -q "^Url=http://127.0.0.1:$port/live.mp3" "$app/config.ini" || fail "config.ini lost Last Url"
for key in StationsX StationsW Volume ontop LastStation Category ServiceIndex VisualizationType; do
    grep -qi "^$key=" "$app/config.ini" || fail "config.ini has no $key after close"
done
grep -q "^PlayOnStart=1" "$app/config.ini" || fail "config.ini lost a key it does not write"

e2e_expect_tone_from 3
echo "title logged; settings written"
echo "1 passed, 0 failed"
