#!/usr/bin/env bash
# Live HLS streams made from sine tones by ffmpeg's hls muxer, served over HTTP on loopback:
#   /aac/master.m3u8   master playlist of two AAC variants: v0.m3u8 (64 kbit/s, 550 Hz) and
#                      v1.m3u8 (128 kbit/s, 880 Hz), MPEG-TS segments; a player that picks the
#                      highest bandwidth plays 880 Hz
#   /mp3/live.m3u8     MP3 128 kbit/s in MPEG-TS segments, 660 Hz
#   /id3/live.m3u8     packed AAC segments opening with ID3 titles (hls_id3.py), 440 Hz
# Segments last about two seconds; each playlist keeps the last five and older segments are
# deleted, as live stations do.
#
#   hls.sh start DIR   start, wait until every playlist lists two segments, print PORT <n>
#   hls.sh stop DIR    stop every process listed in DIR/pids
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/pids.sh"

usage() {
    echo "usage: $0 start DIR | stop DIR" >&2
    exit 2
}

start_all() {
    local dir
    mkdir -p "$1"
    dir=$(cd "$1" && pwd)
    mkdir -p "$dir/www/aac" "$dir/www/mp3" "$dir/www/id3"
    : >"$dir/pids"
    local common=(-nostdin -hide_banner -loglevel error -re)
    local hls=(-f hls -hls_time 2 -hls_list_size 5 -hls_flags delete_segments)

    (cd "$dir/www/aac" && exec ffmpeg "${common[@]}" \
        -f lavfi -i sine=frequency=550:sample_rate=44100 \
        -f lavfi -i sine=frequency=880:sample_rate=44100 \
        -map 0:a -map 1:a -ac 2 -c:a aac -b:a:0 64k -b:a:1 128k \
        -var_stream_map "a:0 a:1" -master_pl_name master.m3u8 "${hls[@]}" \
        -hls_segment_filename 'v%v_%d.ts' 'v%v.m3u8') >"$dir/ffmpeg-aac.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
    (cd "$dir/www/mp3" && exec ffmpeg "${common[@]}" \
        -f lavfi -i sine=frequency=660:sample_rate=44100 -ac 2 -c:a libmp3lame -b:a 128k \
        "${hls[@]}" -hls_segment_filename 'seg%d.ts' live.m3u8) >"$dir/ffmpeg-mp3.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
    python3 "$here/hls_id3.py" "$dir/www/id3" 440 >"$dir/id3.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
    python3 "$here/http_server.py" --root "$dir/www" >"$dir/http.out" 2>"$dir/http.log" </dev/null &
    echo $! >>"$dir/pids"

    local ready=0
    for _ in $(seq 1 300); do
        ready=1
        for list in aac/v0.m3u8 aac/v1.m3u8 mp3/live.m3u8 id3/live.m3u8; do
            [ "$(grep -c '^#EXTINF' "$dir/www/$list" 2>/dev/null || echo 0)" -ge 2 ] || ready=0
        done
        [ -s "$dir/www/aac/master.m3u8" ] || ready=0
        grep -q '^PORT ' "$dir/http.out" 2>/dev/null || ready=0
        [ $ready -eq 1 ] && break
        sleep 0.2
    done
    if [ $ready -ne 1 ]; then
        echo "the HLS streams did not come up; see $dir/*.log" >&2
        stop_pids "$dir"
        exit 1
    fi
    head -n 1 "$dir/http.out"
}

case "${1:-}" in
start) [ $# -eq 2 ] || usage; start_all "$2" ;;
stop) [ $# -eq 2 ] || usage; stop_pids "$2" ;;
*) usage ;;
esac
