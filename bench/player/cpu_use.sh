#!/usr/bin/env bash
# CPU time per minute of the real player under Xvfb with the default theme: once idle, once
# playing the local Icecast MP3 mount into a PulseAudio null sink with the spectrum on.
#
#   bench/player/cpu_use.sh TUNELARK_BINARY [SECONDS]
#
# SECONDS (default 30) is the measured span of each phase, after a 3 s settle. Prints the CPU
# seconds per minute and the share of one core.
set -euo pipefail
source "$(dirname "$0")/../../tests/e2e/lib.sh"
span=${2:-30}
e2e_start "$1"
cp -r "$e2e_here/../../assets/Themes" "$app/Themes"

cpu_ticks() {  # user + system clock ticks of a process
    awk '{print $14 + $15}' "/proc/$1/stat"
}

measure() {  # label, play-on-start
    cat >"$app/config.ini" <<INI
[General]
Theme=Nocturne
PlayOnStart=$2
VisualizationType=0
log=0
[Last]
Url=http://127.0.0.1:$port/live.mp3
INI
    e2e_run_player
    sleep 3
    local hz start end
    hz=$(getconf CLK_TCK)
    start=$(cpu_ticks "$player_pid")
    sleep "$span"
    end=$(cpu_ticks "$player_pid")
    e2e_terminate_player
    awk -v t=$((end - start)) -v hz="$hz" -v s="$span" -v l="$1" 'BEGIN {
        cpu = t / hz; printf "%-28s %6.2f s CPU per minute  (%5.2f %% of one core)\n", l, cpu * 60 / s, cpu * 100 / s }'
}

echo "Tunelark, default theme, ${span} s per phase"
measure "idle" 0
measure "playing, spectrum on" 1
