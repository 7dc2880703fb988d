#!/usr/bin/env bash
# CPU time per minute and resident memory of the real player under Xvfb (with a window manager,
# so minimising works as on a desktop) and the default theme, side by side with ffplay and the
# engine alone (tl_play) on the same local Icecast MP3 mount, heard through a PulseAudio null
# sink. Phases of each run:
#   ffplay -nodisp, tl_play, Tunelark idle, Tunelark playing with the spectrum visible, and the
#   same Tunelark process once its window has been minimised.
#
#   bench/player/cpu_use.sh TUNELARK_BINARY [SECONDS] [RUNS] [TL_PLAY]
#
# SECONDS (default 30) is the measured span of each phase, after a 3 s settle; RUNS (default 1)
# repeats every phase, and medians are shown. TL_PLAY defaults to the newest
# build*/bench/audio/tl_play. Prints the CPU seconds per minute, the share of one core, the
# resident memory at the end of the phase, the CPU of the main thread alone (for Tunelark the
# UI: timers and drawing; the engine runs on threads of its own) and the ratios the player is
# judged by.
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/lib.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
span=${2:-30}
runs=${3:-1}
tl_play=${4:-$(ls -t "$root"/build*/bench/audio/tl_play 2>/dev/null | head -1 || true)}
e2e_start "$1"
cp -r "$e2e_here/../../assets/Themes" "$app/Themes"
url=http://127.0.0.1:$port/live.mp3
openbox >"$work/openbox.log" 2>&1 &
e2e_pids+=($!)
sleep 1

hz=$(getconf CLK_TCK)
cpu_ticks() { # user + system clock ticks of a process
    awk '{print $14 + $15}' "/proc/$1/stat"
}
rss_kib() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

ui_ticks() { # the main thread only: for Tunelark the UI (timers, drawing), not the engine
    awk '{print $14 + $15}' "/proc/$1/task/$1/stat"
}

# sample PID LABEL: CPU over the span (the whole process and its main thread), then resident
# memory; appends "LABEL cpu rss ui_cpu" to results.
sample() {
    local start end ui0 ui1
    start=$(cpu_ticks "$1")
    ui0=$(ui_ticks "$1")
    sleep "$span"
    end=$(cpu_ticks "$1")
    ui1=$(ui_ticks "$1")
    echo "$2 $(awk -v t=$((end - start)) -v hz="$hz" -v s="$span" \
        'BEGIN { printf "%.3f", t / hz * 60 / s }') $(rss_kib "$1") $(awk -v t=$((ui1 - ui0)) \
        -v hz="$hz" -v s="$span" 'BEGIN { printf "%.3f", t / hz * 60 / s }')" >>"$work/results"
}

# other LABEL COMMAND...: a player other than Tunelark, one phase.
other() {
    local label=$1
    shift
    "$@" >"$work/$label.log" 2>&1 </dev/null &
    local pid=$!
    sleep 3
    sample "$pid" "$label"
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

tunelark() { # play-on-start; with playing, also the minimised phase
    cat >"$app/config.ini" <<INI
[General]
Theme=Nocturne
PlayOnStart=$1
VisualizationType=0
log=0
[Last]
Url=$url
INI
    e2e_run_player
    sleep 3
    if [ "$1" = 0 ]; then
        sample "$player_pid" "tunelark-idle"
    else
        sample "$player_pid" "tunelark-visible"
        local id
        id=$(xdotool search --all --pid "$player_pid" --name '^Tunelark$' | head -1)
        xdotool windowminimize --sync "$id" || xdotool windowminimize "$id"
        sleep 2
        sample "$player_pid" "tunelark-minimised"
    fi
    e2e_terminate_player
}

: >"$work/results"
for run in $(seq 1 "$runs"); do
    echo "run $run of $runs" >&2
    other ffplay ffplay -nodisp -loglevel quiet "$url"
    if [ -n "$tl_play" ] && [ -x "$tl_play" ]; then
        other tl_play "$tl_play" "$url"
    fi
    tunelark 0
    tunelark 1
done

echo "CPU and resident memory, ${span} s per phase, median of $runs run(s)"
python3 - "$work/results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    label, cpu, rss, ui = line.split()
    rows.setdefault(label, []).append((float(cpu), int(rss), float(ui)))
order = ["ffplay", "tl_play", "tunelark-idle", "tunelark-visible", "tunelark-minimised"]
med = {}
print("%-20s %20s %16s %14s %18s" % ("phase", "CPU (s per minute)", "% of one core",
                                     "resident (MiB)", "main thread (s/min)"))
for label in order:
    if label not in rows:
        continue
    cpu = statistics.median(r[0] for r in rows[label])
    rss = statistics.median(r[1] for r in rows[label]) / 1024
    ui = statistics.median(r[2] for r in rows[label])
    med[label] = (cpu, rss)
    print("%-20s %20.2f %16.2f %14.1f %18.2f" % (label, cpu, cpu / 60 * 100, rss, ui))
print()
def ratio(a, b):
    if a in med and b in med and med[b][0] > 0:
        print("%s / %s: CPU x%.2f, resident memory x%.2f" % (a, b, med[a][0] / med[b][0],
                                                            med[a][1] / med[b][1]))
ratio("tunelark-visible", "ffplay")
ratio("tunelark-minimised", "tl_play")
ratio("tunelark-visible", "tl_play")
ratio("tl_play", "ffplay")
PY
