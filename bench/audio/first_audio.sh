#!/usr/bin/env bash
# Time to first audible sample and CPU time per minute of playing, for several players on the
# same local Icecast MP3 mount, heard through a private PulseAudio null sink.
#
#   bench/audio/first_audio.sh [-n SECONDS] [-r RUNS] [-t TUNELARK] [-p TL_PLAY]
#
#   -n  seconds each player plays (default 10; CPU is measured from second 3 to the end)
#   -r  runs per player (default 1; the median first-audio time and mean CPU are shown)
#   -t  the Tunelark program (dist/tunelark); also $TUNELARK. Its folder is copied to a
#       scratch folder with a config.ini holding PlayOnStart=1 and [Last] Url=the mount.
#   -p  tl_play, the engine-only player built from bench/audio (also $TL_PLAY; default: the
#       newest build*/bench/audio/tl_play)
#
# First audio: the null sink's monitor is recorded with parec; the time of the first sample
# above the silence threshold is taken relative to the moment the player process starts.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_PLAY=${BENCH_SECONDS:-10}
RUNS=1
TUNELARK=${TUNELARK:-}
TL_PLAY=${TL_PLAY:-$(ls -t "$ROOT"/build*/bench/audio/tl_play 2>/dev/null | head -1 || true)}
while getopts "n:r:t:p:" opt; do
    case $opt in
    n) SECONDS_PLAY=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    t) TUNELARK=$OPTARG ;;
    p) TL_PLAY=$OPTARG ;;
    *) sed -n 2,16p "$0"; exit 2 ;;
    esac
done
if [ "$SECONDS_PLAY" -lt 5 ]; then
    echo "play at least 5 seconds" >&2
    exit 2
fi

WORK=$(mktemp -d /tmp/tl-bench-XXXXXX)
chmod 755 "$WORK"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cleanup() {
    [ -n "${PLAYER_PID:-}" ] && kill -KILL "$PLAYER_PID" 2>/dev/null || true
    [ -n "${REC_PID:-}" ] && kill -TERM "$REC_PID" 2>/dev/null || true
    bash "$ROOT/tests/services/icecast.sh" stop "$WORK/icecast" || true
    bash "$ROOT/tests/services/pulse.sh" stop "$WORK/pulse" || true
    rm -rf "$WORK"
}
trap cleanup EXIT

bash "$ROOT/tests/services/icecast.sh" start "$WORK/icecast" "$PORT"
export "$(bash "$ROOT/tests/services/pulse.sh" start "$WORK/pulse")"
URL="http://127.0.0.1:$PORT/live.mp3"
HZ=$(getconf CLK_TCK)
mkdir -p "$WORK/home" "$WORK/xdg"
chmod 700 "$WORK/xdg"

cpu_ticks() {  # utime + stime of a process, in clock ticks
    awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

now_ns() { date +%s%N; }

# Records the null sink's monitor, noting when each chunk arrived, so a sample's time is the
# arrival time of its chunk minus the frames that follow it in that chunk.
cat >"$WORK/recorder.py" <<'PY'
import os, signal, subprocess, sys, time
out = sys.argv[1]
p = subprocess.Popen(["parec", "-d", "ci_null.monitor", "--format=s16le", "--rate=44100",
                      "--channels=2", "--latency-msec=10", "--raw"], stdout=subprocess.PIPE)
signal.signal(signal.SIGTERM, lambda *_: p.terminate())  # then the pipe ends
total = 0
with open(out + ".raw", "wb") as data, open(out + ".times", "w") as times:
    while True:
        chunk = os.read(p.stdout.fileno(), 65536)
        if not chunk:
            break
        now = time.time_ns()
        data.write(chunk)
        total += len(chunk)
        times.write("%d %d\n" % (total, now))
        times.flush()
PY

# measure NAME COMMAND...: prints "first_audio_ms cpu_seconds_per_minute"
measure() {
    local name=$1
    shift
    python3 "$WORK/recorder.py" "$WORK/$name" &
    REC_PID=$!
    sleep 1
    local start
    start=$(now_ns)
    HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/xdg "$@" >"$WORK/$name.log" 2>&1 </dev/null &
    PLAYER_PID=$!
    sleep 3
    local c0 t0 c1 t1
    c0=$(cpu_ticks "$PLAYER_PID")
    t0=$(now_ns)
    sleep $((SECONDS_PLAY - 3))
    c1=$(cpu_ticks "$PLAYER_PID")
    t1=$(now_ns)
    kill -TERM "$PLAYER_PID" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$PLAYER_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$PLAYER_PID" 2>/dev/null || true
    wait "$PLAYER_PID" 2>/dev/null || true
    PLAYER_PID=
    kill -TERM "$REC_PID" 2>/dev/null || true
    wait "$REC_PID" 2>/dev/null || true
    REC_PID=
    python3 - "$WORK/$name" "$start" "$c0" "$c1" "$t0" "$t1" "$HZ" <<'PY'
import sys, array
prefix, start, c0, c1, t0, t1, hz = sys.argv[1], *map(int, sys.argv[2:])
data = array.array("h")
with open(prefix + ".raw", "rb") as f:
    buf = f.read()
data.frombytes(buf[: len(buf) - len(buf) % 2])
chunks = [tuple(map(int, line.split())) for line in open(prefix + ".times")]
ms = "nan"
for i, v in enumerate(data):
    if abs(v) > 500:
        byte = i * 2
        end, when = next(c for c in chunks if c[0] > byte)
        sample_ns = when - (end - byte) / 4 / 44100 * 1e9
        if sample_ns >= start:
            ms = "%.0f" % ((sample_ns - start) / 1e6)
            break
cpu = (c1 - c0) / hz / ((t1 - t0) / 1e9) * 60
print(ms, "%.2f" % cpu)
PY
}

declare -a NAMES=() CMDS=()
add() { NAMES+=("$1"); CMDS+=("$2"); }
add ffplay "ffplay -nodisp -autoexit -loglevel quiet $URL"
add mpv "mpv --no-video --no-config --really-quiet $URL"
if [ -n "$TL_PLAY" ] && [ -x "$TL_PLAY" ]; then
    add tl_play "$TL_PLAY $URL"
fi
if [ -n "$TUNELARK" ]; then
    src=$(cd "$(dirname "$TUNELARK")" && pwd)
    cp -a "$src" "$WORK/dist"
    printf '[General]\r\nPlayOnStart=1\r\nShowNotifier=0\r\nlog=0\r\n[Last]\r\nUrl=%s\r\n' "$URL" \
        >"$WORK/dist/config.ini"
    add tunelark "env QT_QPA_PLATFORM=offscreen $WORK/dist/$(basename "$TUNELARK")"
fi

printf '%-10s %16s %18s   %s\n' player "first audio (ms)" "CPU (s per minute)" "first audio of each run"
declare -A FIRST CPU
for i in "${!NAMES[@]}"; do
    name=${NAMES[$i]}
    firsts=()
    cpus=()
    for _ in $(seq 1 "$RUNS"); do
        read -r f c < <(measure "$name" ${CMDS[$i]})
        firsts+=("$f")
        cpus+=("$c")
    done
    FIRST[$name]=$(printf '%s\n' "${firsts[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    CPU[$name]=$(printf '%s\n' "${cpus[@]}" | awk '{ s += $1 } END { printf "%.2f", s / NR }')
    printf '%-10s %16s %18s   %s\n' "$name" "${FIRST[$name]}" "${CPU[$name]}" "${firsts[*]}"
done

echo
for ours in tl_play tunelark; do
    [ -n "${FIRST[$ours]:-}" ] || continue
    for ref in ffplay mpv; do
        awk -v n="$ours" -v r="$ref" -v f="${FIRST[$ours]}" -v fr="${FIRST[$ref]}" \
            -v c="${CPU[$ours]}" -v cr="${CPU[$ref]}" 'BEGIN {
                fa = (fr + 0 > 0) ? sprintf("%.2f", f / fr) : "n/a";
                ca = (cr + 0 > 0) ? sprintf("%.2f", c / cr) : "n/a";
                printf "%s / %s: first audio x%s, CPU x%s\n", n, r, fa, ca }'
    done
done
