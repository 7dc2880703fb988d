#!/usr/bin/env bash
# End to end: the real tunelark binary under Xvfb plays an HLS station (a master playlist of
# two AAC variants from tests/services/hls.sh) into a PulseAudio null sink. The .m3u8 address
# is given by host name, so it goes through playlist resolution; the 880 Hz tone heard is the
# variant with the higher bandwidth (the other one is 550 Hz). SIGTERM then closes the player
# promptly in the middle of the live stream.
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
Url=http://localhost:$hls_port/aac/master.m3u8
Info=HLS test station
INI

e2e_record
e2e_run_player
# The demuxer reads the master and both variants' first segments before the first sound.
for _ in $(seq 1 16); do
    sleep 0.5
    kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }
done
heard_at=$(e2e_record_offset -3)
e2e_terminate_player
e2e_stop_recording
e2e_expect_tone "$heard_at" 880
grep -q "^Url=http://localhost:$hls_port/aac/master.m3u8" "$app/config.ini" \
    || fail "config.ini lost the HLS address"
echo "1 passed, 0 failed"
