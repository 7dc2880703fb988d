#!/usr/bin/env bash
# End to end: dragging the player window with the mouse under Xvfb, with no window manager (the
# window moves itself) or with openbox (the window manager moves it and takes the release).
# Either way the window follows the drag, sticks to the screen's edge when dropped within 8
# pixels of it, and a right click on the drag area opens the context menu without moving it.
#
#   drag_e2e.sh TUNELARK_BINARY [openbox]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start_display "$1"
export SDL_AUDIODRIVER=dummy
wm=${2:-}

if [ "$wm" = openbox ]; then
    command -v openbox >/dev/null || fail "openbox is not installed (scripts/install-deps.sh)"
    mkdir -p "$work/home"
    HOME=$work/home openbox --sm-disable >"$work/openbox.log" 2>&1 &
    openbox_pid=$!
    e2e_pids+=($openbox_pid)
    # Ready when it announces itself on the root window.
    wm_ready() { xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_WM_MOVERESIZE; }
    service_up "$openbox_pid" wm_ready ||
        { cat "$work/openbox.log" >&2; fail "openbox did not start"; }
fi

cp -r "$e2e_here/../../assets/Themes" "$app/Themes"
cat >"$app/config.ini" <<INI
[General]
x=200
y=200
Theme=Daybreak
PlayOnStart=0
ShowNotifier=0
INI

e2e_run_player
window=""
find_window() {
    window=$(xdotool search --onlyvisible --name '^[Tt]unelark$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ]
}
service_up "$player_pid" find_window || true
[ -n "$window" ] || { cat "$work/tunelark.log" >&2; fail "no player window"; }
sleep 1

position() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    echo "$X $Y"
}
read -r x0 y0 < <(position)
[ "$x0 $y0" = "200 200" ] || fail "the window starts at $x0,$y0, not at 200,200"

# Press on the background left of the buttons and drag in steps so that the window's left edge
# would land 4 pixels right of the screen's edge, 100 pixels further down.
gx=$((x0 + 8))
gy=$((y0 + 60))
xdotool mousemove "$gx" "$gy"
sleep 0.3
xdotool mousedown 1
sleep 0.5
for i in $(seq 1 14); do
    xdotool mousemove $((gx - 14 * i)) $((gy + 7 * i))
    sleep 0.05
done
xdotool mousemove $((gx - 196)) $((gy + 100))
sleep 0.3
xdotool mouseup 1
# The snap follows once the move has settled and the button is up, without further motion.
for _ in $(seq 1 30); do
    read -r x1 y1 < <(position)
    [ "$x1" = 0 ] && break
    sleep 0.1
done
dy=$((y1 - y0 - 100))
[ "${dy#-}" -le 2 ] || fail "the window did not follow the drag (${wm:-no wm}): at $x1,$y1"
[ "$x1" = 0 ] || fail "the window was not snapped to the screen's edge (${wm:-no wm}): at $x1,$y1"

# A right click on the drag area (the time label) opens the menu and moves nothing.
count_visible() { xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null | wc -l; }
before=$(count_visible)
tx=$((x1 + 238 + 21))
ty=$((y1 + 62 + 8))
xdotool mousemove "$tx" "$ty"
sleep 0.3
xdotool mousedown 3
sleep 0.2
xdotool mousemove $((tx + 30)) $((ty + 30))
sleep 0.2
xdotool mousemove "$tx" "$ty"
xdotool mouseup 3
sleep 1
after=$(count_visible)
read -r x2 y2 < <(position)
[ "$x2 $y2" = "$x1 $y1" ] || fail "a right-button drag moved the window to $x2,$y2"
[ "$after" -gt "$before" ] || fail "a right click on the time label opened no menu ($before -> $after windows)"
xdotool key Escape
sleep 0.3

e2e_terminate_player
grep -q '^x=0' "$app/config.ini" || fail "config.ini does not keep the snapped position"
echo "dragged and snapped (${wm:-no window manager})"
echo "1 passed, 0 failed"
