#!/usr/bin/env bash
# End to end: the real tunelark binary under Xvfb, playing into a PulseAudio null sink on start.
# Checks what a person would notice. First the local Icecast MP3 mount: the 440 Hz tone is
# heard, a title pushed during the run reaches the title log, a second start leaves the first
# alone, and SIGTERM closes the player with its settings written. Then an HLS station (packed
# AAC segments with ID3 titles from tests/services/hls.sh): its 440 Hz tone is heard, the
# segments' titles reach the title log, and SIGTERM closes the player promptly in the middle of
# the live stream. (The engine test checks the HLS variant choice and the rest.)
#
#   player_e2e.sh TUNELARK_BINARY
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start "$1"

# The favourites as installed: start-up restores a selection, but the play-on-start press
# still plays the last address as stored.
cp "$e2e_here/../../assets/stations.xml" "$app/stations.xml"
# A fresh config.ini that plays $1 on start.
write_config() {
    printf '[General]\nx=40\ny=50\nPlayOnStart=1\nlog=1\nVolume=10\n[Last]\nUrl=%s\nInfo=%s\n' \
        "$1" "$2" >"$app/config.ini"
}
write_config "http://127.0.0.1:$port/live.mp3" "Started from config"

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

# ---- an HLS station ----
hls_port=$(bash "$e2e_services/hls.sh" start "$work/hls" | sed -n 's/^PORT //p')
[ -n "$hls_port" ] || fail "the HLS streams did not start"
export no_proxy=localhost,127.0.0.1 NO_PROXY=localhost,127.0.0.1
write_config "http://localhost:$hls_port/id3/live.m3u8" "HLS test station"

e2e_record
e2e_run_player
for _ in $(seq 1 16); do
    sleep 0.5
    kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the HLS player exited"; }
done
heard_at=$(e2e_record_offset -3)
e2e_terminate_player
e2e_stop_recording
e2e_expect_tone "$heard_at" 440
grep -qE "; ID3 Artist - Song [0-9]+"$'\r'"$" "$app/Tunelark.log" \
    || fail "no ID3 title in the title log: $(cat "$app/Tunelark.log" 2>/dev/null)"
grep -q "^Url=http://localhost:$hls_port/id3/live.m3u8" "$app/config.ini" \
    || fail "config.ini lost the HLS address"
echo "HLS heard; its titles logged"
echo "1 passed, 0 failed"
