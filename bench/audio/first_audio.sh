#!/usr/bin/env bash
# Time to first audible sample, CPU time per minute of playing and resident memory, for several
# players on the same local Icecast MP3 mount, heard through a private PulseAudio null sink;
# for the engine alone and Tunelark also the timeline of the stages of a start (TL_TIMELINE).
#
#   bench/audio/first_audio.sh [-n SECONDS] [-r RUNS] [-t TUNELARK] [-p TL_PLAY] [-i]
#
#   -n  seconds each player plays (default 10; CPU is measured from second 3 to the end,
#       resident memory at the end)
#   -r  runs per player (default 3; medians are shown)
#   -t  the Tunelark program (dist/tunelark); also $TUNELARK. Its folder is copied to a
#       scratch folder with a config.ini holding PlayOnStart=1 and [Last] Url=the mount.
#   -p  tl_play, the engine-only player built from bench/audio (also $TL_PLAY; default: the
#       newest build*/bench/audio/tl_play)
#   -i  leave the null sink idle between players (see below)
#
# First audio: the null sink's monitor is recorded with parec; the time of the first sample
# above the silence threshold is taken relative to the moment the player process starts.
# An idle null sink renders in blocks of up to 2 s and takes a new client's first data only at
# the end of the current block, which adds a random 0-2 s to every player's figure. Unless -i
# is given, a silent low-latency client (pacat of zeros) stays connected, as a running sound
# card would, so the figures are the players' own.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_PLAY=${BENCH_SECONDS:-10}
RUNS=3
TUNELARK=${TUNELARK:-}
TL_PLAY=${TL_PLAY:-$(ls -t "$ROOT"/build*/bench/audio/tl_play 2>/dev/null | head -1 || true)}
IDLE_SINK=0
while getopts "n:r:t:p:i" opt; do
    case $opt in
    n) SECONDS_PLAY=$OPTARG ;;
    r) RUNS=$OPTARG ;;
    t) TUNELARK=$OPTARG ;;
    p) TL_PLAY=$OPTARG ;;
    i) IDLE_SINK=1 ;;
    *) sed -n 2,25p "$0"; exit 2 ;;
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
    [ -n "${KEEP_PID:-}" ] && kill -TERM "$KEEP_PID" 2>/dev/null || true
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
if [ "$IDLE_SINK" = 0 ]; then
    pacat --latency-msec=20 --format=s16le --rate=44100 --channels=2 --raw /dev/zero &
    KEEP_PID=$!
fi
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

# measure NAME COMMAND...: prints "first_audio_ms cpu_seconds_per_minute rss_kib" and leaves
# the stages the player printed, in ms after its start, in $WORK/NAME.stages.RUN
measure() {
    local name=$1
    shift
    python3 "$WORK/recorder.py" "$WORK/$name" &
    REC_PID=$!
    sleep 1
    local start
    start=$(now_ns)
    HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/xdg TL_TIMELINE=1 "$@" >"$WORK/$name.log" 2>&1 </dev/null &
    PLAYER_PID=$!
    sleep 3
    local c0 t0 c1 t1
    c0=$(cpu_ticks "$PLAYER_PID")
    t0=$(now_ns)
    sleep $((SECONDS_PLAY - 3))
    c1=$(cpu_ticks "$PLAYER_PID")
    t1=$(now_ns)
    local rss
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$PLAYER_PID/status" 2>/dev/null || echo 0)
    kill -TERM "$PLAYER_PID" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$PLAYER_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$PLAYER_PID" 2>/dev/null || true
    wait "$PLAYER_PID" 2>/dev/null || true
    PLAYER_PID=
    kill -TERM "$REC_PID" 2>/dev/null || true
    wait "$REC_PID" 2>/dev/null || true
    REC_PID=
    python3 - "$WORK/$name" "$start" "$c0" "$c1" "$t0" "$t1" "$HZ" "${rss:-0}" "$RUN" <<'PY'
import sys, array
prefix, start, c0, c1, t0, t1, hz, rss, run = sys.argv[1], *map(int, sys.argv[2:])
with open(prefix + ".stages.%d" % run, "w") as out:
    seen = set()
    for line in open(prefix + ".log", errors="replace"):
        parts = line.split()
        if len(parts) == 3 and parts[0] == "stage" and parts[1] not in seen:
            seen.add(parts[1])
            out.write("%s %.0f\n" % (parts[1], (int(parts[2]) - start) / 1e6))
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
print(ms, "%.2f" % cpu, rss)
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

declare -A FIRST CPU RSS
median() { sort -g | awk '{ a[NR] = $1 } END { if (NR) print a[int((NR + 1) / 2)]; else print "nan" }'; }
for i in "${!NAMES[@]}"; do
    name=${NAMES[$i]}
    firsts=()
    cpus=()
    rsss=()
    for RUN in $(seq 1 "$RUNS"); do
        read -r f c r < <(measure "$name" ${CMDS[$i]})
        firsts+=("$f")
        cpus+=("$c")
        rsss+=("$r")
        echo "heard $f" >>"$WORK/$name.stages.$RUN"
    done
    FIRST[$name]=$(printf '%s\n' "${firsts[@]}" | median)
    CPU[$name]=$(printf '%s\n' "${cpus[@]}" | median)
    RSS[$name]=$(printf '%s\n' "${rsss[@]}" | median | awk '{ printf "%.1f", $1 / 1024 }')
    echo "$name: first audio ${firsts[*]} ms, CPU ${cpus[*]} s/min, RSS ${rsss[*]} KiB" >&2
done

echo "Stages of a start, ms after the player process was started (median of $RUNS runs)"
python3 - "$WORK" "$RUNS" "${NAMES[@]}" <<'PY'
import statistics, sys
work, runs, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
stages = [("main", "process start (main)"), ("preopen", "stream opened early"),
          ("window_shown", "window shown"),
          ("resolved", "address resolved"), ("connected", "connected"),
          ("headers", "reply headers"), ("probed", "probe done"),
          ("first_frame", "first decoded frame"), ("opened", "open returned"),
          ("buffered", "buffered"), ("play", "play"), ("device_open", "output device open"),
          ("first_output", "first audio in device"), ("heard", "first audio heard")]
table = {}
for n in names:
    for r in range(1, runs + 1):
        try:
            for line in open("%s/%s.stages.%d" % (work, n, r)):
                k, v = line.split()
                if v != "nan":
                    table.setdefault((n, k), []).append(float(v))
        except OSError:
            pass
print("%-24s" % "stage" + "".join("%10s" % n for n in names))
for key, label in stages:
    cells = [table.get((n, key)) for n in names]
    if not any(cells):
        continue
    print("%-24s" % label + "".join("%10s" % ("%.0f" % statistics.median(c) if c else "-")
                                    for c in cells))
PY

echo
printf '%-10s %16s %18s %14s\n' player "first audio (ms)" "CPU (s per minute)" "resident (MiB)"
for name in "${NAMES[@]}"; do
    printf '%-10s %16s %18s %14s\n' "$name" "${FIRST[$name]}" "${CPU[$name]}" "${RSS[$name]}"
done

echo
for ours in tl_play tunelark; do
    [ -n "${FIRST[$ours]:-}" ] || continue
    for ref in ffplay mpv tl_play; do
        [ "$ours" != "$ref" ] && [ -n "${FIRST[$ref]:-}" ] || continue
        awk -v n="$ours" -v r="$ref" -v f="${FIRST[$ours]}" -v fr="${FIRST[$ref]}" \
            -v c="${CPU[$ours]}" -v cr="${CPU[$ref]}" -v m="${RSS[$ours]}" -v mr="${RSS[$ref]}" '
            function ratio(a, b) { return (b + 0 > 0 && a == a + 0) ? sprintf("%.2f", a / b) : "n/a" }
            BEGIN { printf "%s / %s: first audio x%s, CPU x%s, resident memory x%s\n", n, r,
                           ratio(f, fr), ratio(c, cr), ratio(m, mr) }'
    done
done
