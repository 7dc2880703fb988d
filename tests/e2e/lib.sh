# Shared set-up for the end-to-end tests: a local Icecast, a PulseAudio null sink whose monitor
# is recorded, Xvfb on a free display, and a program folder with the real binary.
# Source it, then call e2e_start BINARY; everything started is stopped on exit.

e2e_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_services=$e2e_here/../services
e2e_pids=()
source "$e2e_services/pids.sh" # wait_for, service_up, TL_SERVICE_DEADLINE

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

e2e_cleanup() {
    for pid in "${e2e_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    [ -d "$work/icecast" ] && { bash "$e2e_services/icecast.sh" stop "$work/icecast" >/dev/null 2>&1 || true; }
    [ -d "$work/pulse" ] && { bash "$e2e_services/pulse.sh" stop "$work/pulse" >/dev/null 2>&1 || true; }
    if [ -n "${KEEP_E2E:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}

x_answers() { timeout 10 xdpyinfo >/dev/null 2>&1; }

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Sets: binary, work, app, DISPLAY, XDG_RUNTIME_DIR. Xvfb and a program folder only.
e2e_start_display() {
    binary=$(readlink -f "$1")
    work=$(mktemp -d /tmp/tunelark-e2e.XXXXXX)
    chmod 755 "$work"
    trap e2e_cleanup EXIT

    # Xvfb picks a free display itself and writes its number, so parallel runs never share one.
    # Its authority file and sockets are its own; nothing is shared with another test's display.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    local xvfb=$!
    e2e_pids+=($xvfb)
    service_up "$xvfb" test -s "$work/display" ||
        { cat "$work/xvfb.log" >&2; fail "Xvfb did not start within $TL_SERVICE_DEADLINE s"; }
    export DISPLAY=:$(head -n1 "$work/display")
    service_up "$xvfb" x_answers || fail "Xvfb on $DISPLAY does not answer"

    app=$work/app
    mkdir -p "$app"
    cp "$binary" "$app/tunelark"
    export XDG_RUNTIME_DIR=$work/run
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    unset SDL_AUDIODRIVER QT_QPA_PLATFORM
}

# As e2e_start_display, with a local Icecast and a PulseAudio null sink. Also sets port and
# PULSE_SERVER.
e2e_start() {
    e2e_start_display "$1"
    # The port is free when chosen but another process may take it before Icecast binds it;
    # then a new one is chosen.
    local attempt
    for attempt in 1 2 3; do
        port=$(free_port)
        bash "$e2e_services/icecast.sh" start "$work/icecast" "$port" >/dev/null && break
        [ $attempt -lt 3 ] || fail "icecast did not start"
        rm -rf "$work/icecast"
    done
    local pulse
    pulse=$(bash "$e2e_services/pulse.sh" start "$work/pulse") || fail "pulseaudio did not start"
    export "$(grep '^PULSE_SERVER=' <<<"$pulse")"
}

# Records the sink's monitor into $work/heard.wav until e2e_stop_recording.
e2e_record() {
    record_started=$(date +%s.%N)
    parec -d ci_null.monitor --file-format=wav "$work/heard.wav" &
    parec_pid=$!
    e2e_pids+=($parec_pid)
    sleep 0.7
}

e2e_stop_recording() {
    kill -TERM "$parec_pid" 2>/dev/null || true
    wait "$parec_pid" 2>/dev/null || true
}

# Starts the player in $app; sets player_pid.
e2e_run_player() {
    (cd "$app" && exec ./tunelark) >"$work/tunelark.log" 2>&1 &
    player_pid=$!
    e2e_pids+=($player_pid)
}

# Pushes a title and waits for its title log line.
e2e_expect_title_logged() {
    local title=$1
    bash "$e2e_services/icecast.sh" title "$work/icecast" "$port" /live.mp3 "$title"
    wait_for 60 grep -qF "; $title" "$app/Tunelark.log" 2>/dev/null || true
    grep -qF "; $title" "$app/Tunelark.log" || fail "the title log has no line for '$title'"
    grep -qE "^[0-9]{2}\.[0-9]{2}\.[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}; $title"$'\r'"$" "$app/Tunelark.log" \
        || fail "the title log line has the wrong form: $(tail -n1 "$app/Tunelark.log")"
}

player_gone() { ! kill -0 "$player_pid" 2>/dev/null; }

# SIGTERM closes the player as Exit does.
e2e_terminate_player() {
    kill -TERM "$player_pid"
    wait_for 30 player_gone || true
    kill -0 "$player_pid" 2>/dev/null && fail "SIGTERM did not close the player"
    wait "$player_pid" || true
}

# Seconds from the start of the recording to now plus $1.
e2e_record_offset() {
    awk -v s="$record_started" -v n="$(date +%s.%N)" -v a="$1" 'BEGIN { printf "%.1f", n - s + a }'
}

# A loud enough 440 Hz tone in the recording, 2 s from the offset $1 (seconds).
e2e_expect_tone() {
    local stats rms freq
    stats=$(sox "$work/heard.wav" -n remix 1 trim "$1" 2 stat 2>&1)
    rms=$(awk '/RMS +amplitude/ {print $3}' <<<"$stats")
    freq=$(awk '/Rough +frequency/ {print $3}' <<<"$stats")
    awk -v r="$rms" 'BEGIN { exit !(r > 0.02) }' || fail "the sink was silent (RMS $rms)"
    awk -v f="$freq" 'BEGIN { exit !(f > 400 && f < 480) }' || fail "heard $freq Hz, not 440 Hz"
    echo "heard ${freq} Hz at RMS ${rms}"
}
