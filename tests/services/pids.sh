# Helpers sourced by the service scripts and the end-to-end tests.

# How long a service may take to come up. Generous on purpose: under `ctest -j` with sanitizers
# on a loaded machine a start may take many seconds; a slow start slows the suite, never fails it.
TL_SERVICE_DEADLINE=${TL_SERVICE_DEADLINE:-60}

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds (0) or SECONDS have
# passed (1). Measured by the clock, so slow polls do not stretch the deadline.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# service_up PID COMMAND...: as wait_for with the service deadline, but gives up at once when
# the process PID has ended (its log says why), so a failed start is not waited out.
service_up() {
    local pid=$1 deadline=$((SECONDS + TL_SERVICE_DEADLINE))
    shift
    until "$@"; do
        kill -0 "$pid" 2>/dev/null || return 1
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Stops every process listed in DIR/pids: TERM, up to 3 s of grace, then KILL.
stop_pids() {
    local dir=$1
    [ -f "$dir/pids" ] || return 0
    local pids
    pids=$(cat "$dir/pids")
    for pid in $pids; do kill -TERM "$pid" 2>/dev/null || true; done
    for _ in $(seq 1 30); do
        local alive=0
        for pid in $pids; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ $alive -eq 0 ] && break
        sleep 0.1
    done
    for pid in $pids; do kill -KILL "$pid" 2>/dev/null || true; done
    rm -f "$dir/pids"
}
