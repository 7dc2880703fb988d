#!/usr/bin/env bash
# End to end: the real tunelark binary under Xvfb plays an HLS station (packed AAC segments
# with ID3 titles from tests/services/hls.sh) into a PulseAudio null sink: the 440 Hz tone is
# heard, the segments' titles reach the title log, and SIGTERM closes the player promptly in
# the middle of the live stream. (The engine test checks the variant choice and the rest.)
#
#   hls_e2e.sh TUNELARK_BINARY
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start_display "$1"
eval "export $(bash "$e2e_services/pulse.sh" start "$work/pulse" | grep '^PULSE_SERVER=')"
hls_port=$(bash "$e2e_services/hls.sh" start "$work/hls" | sed -n 's/^PORT //p')
[ -n "$hls_port" ] || fail "the HLS streams did not start"
export no_proxy=localhost,127.0.0.1 NO_PROXY=localhost,127.0.0.1

cat >"$app/config.ini" <<INI
[General]
x=40
y=50
PlayOnStart=1
log=1
Volume=10
[Last]
Url=http://localhost:$hls_port/id3/live.m3u8
Info=HLS test station
INI

e2e_record
e2e_run_player
for _ in $(seq 1 16); do
    sleep 0.5
    kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }
done
heard_at=$(e2e_record_offset -3)
e2e_terminate_player
e2e_stop_recording
e2e_expect_tone "$heard_at" 440
grep -qE "; ID3 Artist - Song [0-9]+"$'\r'"$" "$app/Tunelark.log" \
    || fail "no ID3 title in the title log: $(cat "$app/Tunelark.log" 2>/dev/null)"
grep -q "^Url=http://localhost:$hls_port/id3/live.m3u8" "$app/config.ini" \
    || fail "config.ini lost the HLS address"
echo "1 passed, 0 failed"
