#!/usr/bin/env bash
# End to end with the default theme: the player window shows its shape (no compositing manager
# runs, so the window mask cuts it out of the screen), and clicking play with the mouse starts
# the local stream: the null sink carries the tone and the new title is shown and logged.
#
#   skin_e2e.sh TUNELARK_BINARY
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start "$1"

cp -r "$e2e_here/../../assets/Themes" "$app/Themes"
theme=$app/Themes/Nocturne/theme.ini
ini_value() {  # section key
    awk -F= -v s="[$1]" -v k="$2" '$0==s {inside=1; next} /^\[/ {inside=0} inside && $1==k {print $2; exit}' "$theme" | tr -d '\r'
}
cat >"$app/config.ini" <<INI
[General]
x=60
y=70
Theme=Nocturne
PlayOnStart=0
log=1
Volume=10
[Last]
Url=http://127.0.0.1:$port/live.mp3
INI

e2e_record
e2e_run_player
# Shown once the middle of the window is drawn (a loaded machine may take a while).
for _ in $(seq 1 120); do
    sleep 0.5
    kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }
    import -window root "$work/before.png"
    [[ "$(convert "$work/before.png" -format '%[pixel:p{200,110}]' info:)" =~ ^(black|srgb\(0,0,0\)|gray\(0\))$ ]] || break
done
sleep 1
import -window root "$work/before.png"

# The shape: the window's top-left corner pixel is transparent in the theme, so the desktop
# (black) shows through; the middle of the window is drawn.
corner=$(convert "$work/before.png" -format '%[pixel:p{60,70}]' info:)
middle=$(convert "$work/before.png" -format '%[pixel:p{200,110}]' info:)
[[ "$corner" =~ ^(black|srgb\(0,0,0\)|gray\(0\))$ ]] || fail "the window's corner is not cut out ($corner)"
[[ "$middle" =~ ^(black|srgb\(0,0,0\)|gray\(0\))$ ]] && fail "the window's body is not drawn"

# Click play where the theme puts it.
px=$((60 + $(ini_value play x) + $(ini_value play w) / 2))
py=$((70 + $(ini_value play y) + $(ini_value play h) / 2))
xdotool mousemove "$px" "$py" click 1
tone_at=$(e2e_record_offset 4)
sleep 5
e2e_expect_title_logged "Skin E2E - Title $port"
# Away from the buttons, so that none shows its hover frame, and past the title's fade-in.
xdotool mousemove 5 5
sleep 2
import -window root "$work/playing.png"

# What a person sees change once the stream plays: the play button shows its stop image, the
# song line shows the title, the clock runs. Regions are the theme's, in screen pixels.
changed_pixels() {  # section
    local geometry="$(ini_value "$1" w)x$(ini_value "$1" h)+$((60 + $(ini_value "$1" x)))+$((70 + $(ini_value "$1" y)))"
    compare -metric AE "$work/before.png[$geometry]" "$work/playing.png[$geometry]" null: 2>&1 || true
}
for section in play song time; do
    n=$(changed_pixels "$section")
    [[ "$n" =~ ^[0-9]+$ ]] || fail "could not compare the $section region: $n"
    ((n > 20)) || fail "the $section region looks the same while playing ($n pixels changed)"
done
# The rest of the window's body is still drawn, not cleared.
middle_playing=$(convert "$work/playing.png" -format '%[pixel:p{200,110}]' info:)
[ "$middle_playing" = "$middle" ] || fail "the window's body changed while playing ($middle -> $middle_playing)"
e2e_terminate_player
e2e_stop_recording
e2e_expect_tone "$tone_at"
echo "1 passed, 0 failed"
