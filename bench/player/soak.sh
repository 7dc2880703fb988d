#!/usr/bin/env bash
# Soak: the real player against the local Icecast, driven through its media controls (MPRIS on a
# private session bus), printing its resident memory as it goes.
#   - CYCLES play/stop cycles of the MP3 mount (each waits until the player plays, then stops);
#   - a long play of LONG seconds with a new title every second, stopped and played again every
#      PERIOD seconds (the compressed hour: 3600 titles and 60 restarts in an hour).
# Resident memory is printed at the start, middle and end of each part; at the end the player
# is closed with SIGTERM and its log is searched for sanitizer reports (for a build with
# -DTUNELARK_SANITIZE=ON, where LeakSanitizer reports at exit).
#
#   bench/player/soak.sh [-c CYCLES] [-l LONG] [-p PERIOD] [-s SUPPRESSIONS] TUNELARK_BINARY
#
# Defaults: 1000 cycles, 600 s, 60 s. -s names a LeakSanitizer suppression file (default: the
# repository's tools/lsan.supp when present). Exit status 1 when a cycle failed to play, a
# title was lost, or a sanitizer reported.
set -euo pipefail
cycles=1000
long=600
period=60
root=$(cd "$(dirname "$0")/../.." && pwd)
supp=""
for f in "$root/tools/lsan.supp" "$root/tools/lsan_suppressions.txt" "$root/tests/lsan.supp"; do
    [ -f "$f" ] && supp=$f && break
done
while getopts "c:l:p:s:" opt; do
    case $opt in
    c) cycles=$OPTARG ;;
    l) long=$OPTARG ;;
    p) period=$OPTARG ;;
    s) supp=$OPTARG ;;
    *) sed -n 2,16p "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { sed -n 2,16p "$0"; exit 2; }
source "$root/tests/e2e/lib.sh"
e2e_start "$1"
export QT_QPA_PLATFORM=offscreen
url=http://127.0.0.1:$port/live.mp3
cat >"$app/config.ini" <<INI
[General]
PlayOnStart=0
ShowNotifier=1
log=1
[Last]
Url=$url
INI

# A private session bus for the media controls.
dbus-daemon --config-file=/usr/share/dbus-1/session.conf --nofork --print-address=3 \
    3>"$work/bus" >"$work/dbus.log" 2>&1 &
e2e_pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
[ -n "$supp" ] && export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$supp:print_suppressions=0}
e2e_run_player

dest=org.mpris.MediaPlayer2.tunelark
call() {
    dbus-send --session --type=method_call --dest=$dest /org/mpris/MediaPlayer2 \
        "org.mpris.MediaPlayer2.Player.$1" >/dev/null 2>&1 || true
}
status() {
    dbus-send --session --print-reply=literal --dest=$dest /org/mpris/MediaPlayer2 \
        org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player \
        string:PlaybackStatus 2>/dev/null | awk '{ print $NF }'
}
# until STATUS SECONDS [COMMAND]: true once the player reports STATUS. The command is sent again
# every half second: a press while the previous play command is still ending is ignored, as
# the play button ignores it.
until_status() {
    local deadline=$((SECONDS + $2)) n=0
    while [ $SECONDS -lt $deadline ]; do
        [ "$(status)" = "$1" ] && return 0
        n=$((n + 1))
        [ -n "${3:-}" ] && [ $((n % 10)) -eq 0 ] && call "$3"
        sleep 0.05
    done
    return 1
}
rss() {
    local kib
    kib=$(awk '/^VmRSS:/ { print $2 }' "/proc/$player_pid/status")
    printf '%-34s resident %7.1f MiB\n' "$1" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')"
}

until_status Stopped 30 || fail "the player did not come up on the session bus"
failed=0

echo "Play/stop: $cycles cycles"
call Play
until_status Playing 20 Play || failed=$((failed + 1))
rss "cycles: start (first play)"
call Stop
until_status Stopped 10 Stop || true
started=$SECONDS
for i in $(seq 1 "$cycles"); do
    call Play
    until_status Playing 20 Play || failed=$((failed + 1))
    call Stop
    until_status Stopped 10 Stop || failed=$((failed + 1))
    [ "$i" -eq $((cycles / 2)) ] && rss "cycles: middle ($i)"
done
rss "cycles: end ($cycles)"
echo "cycles: $cycles in $((SECONDS - started)) s, $failed failed"

echo "Long play: ${long} s, a new title every second, stop/play every ${period} s"
call Play
until_status Playing 20 Play || failed=$((failed + 1))
sleep 1
rss "long play: start"
titles=0
for s in $(seq 1 "$long"); do
    titles=$((titles + 1))
    bash "$e2e_services/icecast.sh" title "$work/icecast" "$port" /live.mp3 "Soak Title $titles" \
        >/dev/null 2>&1 || true
    sleep 1
    if [ $((s % period)) -eq 0 ] && [ "$s" -lt "$long" ]; then
        call Stop
        until_status Stopped 10 Stop || failed=$((failed + 1))
        call Play
        until_status Playing 20 Play || failed=$((failed + 1))
    fi
    [ "$s" -eq $((long / 2)) ] && rss "long play: middle (${s} s)"
done
sleep 2
rss "long play: end (${long} s)"
logged=$(grep -c "; Soak Title " "$app/Tunelark.log" 2>/dev/null || echo 0)
distinct=$(grep -o "; Soak Title [0-9]*" "$app/Tunelark.log" 2>/dev/null | sort -u | wc -l || echo 0)
echo "titles: $titles pushed, $logged log lines, $distinct distinct"
# Titles pushed while a restart was connecting may be missed; a title logged twice is a fault.
[ "$logged" -eq "$distinct" ] || { echo "a title was logged twice"; failed=$((failed + 1)); }

kill -TERM "$player_pid"
for _ in $(seq 1 300); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
wait "$player_pid" || true
reports=$(grep -cE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$work/tunelark.log" || true)
echo "sanitizer reports: $reports"
if [ "$reports" != 0 ]; then
    grep -E -A30 "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:" "$work/tunelark.log" |
        head -80
    failed=$((failed + 1))
fi
[ "$failed" -eq 0 ]
