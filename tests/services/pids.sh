# Stops every process listed in DIR/pids: TERM, up to 3 s of grace, then KILL. Sourced by the
# service scripts.
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
