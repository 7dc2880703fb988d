#!/usr/bin/env bash
# End to end: the real binary under Xvfb with the shipped manager theme and logo. A title
# pushed to the local Icecast brings its album art from a local stand-in for the keyless
# catalogue into the player's art box; the station manager opens themed; "About Tunelark"
# opens the About window from the player's menu. SHOTS=<folder> keeps the screenshots.
#
#   art_e2e.sh TUNELARK_BINARY
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_start "$1"
assets=$e2e_here/../../assets
cp -r "$assets/Themes" "$assets/interface" "$assets/logo.png" "$assets/stations.xml" "$app/"

# The catalogue's answer for one song, as the real service sends it, and its 600 x 600 image.
www=$work/www
mkdir -p "$www/art"
convert -size 600x600 xc:'#E0208C' "$www/art/600x600bb.jpg"
python3 "$e2e_services/http_server.py" --root "$www" --log "$work/http.log" >"$work/http.out" &
http_pid=$!
e2e_pids+=($http_pid)
service_up "$http_pid" grep -q '^PORT ' "$work/http.out" || fail "http_server.py did not start"
hport=$(awk '/^PORT/ {print $2}' "$work/http.out")
printf '\n\n\n{\n "resultCount":1,\n "results": [\n{"wrapperType":"track", "kind":"song", "artistName":"E2E Artist", "trackName":"Art Song", "artworkUrl100":"http://127.0.0.1:%s/art/100x100bb.jpg"}]\n}\n\n\n' \
    "$hport" >"$www/search?term=E2E%20Artist%20Art%20Song&entity=song&limit=1"
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

cat >"$app/config.ini" <<INI
[General]
x=40
y=50
Theme=Nocturne
PlayOnStart=1
log=1
Volume=10
StationsX=420
StationsY=40
StationsW=560
StationsH=420
[Last]
Url=http://127.0.0.1:$port/live.mp3
Info=Art test
[AlbumArt]
CatalogueUrl=http://127.0.0.1:$hport/search
INI

shot() { [ -n "${SHOTS:-}" ] && mkdir -p "$SHOTS" && import -window root "$SHOTS/$1.png" || true; }
pixel() { import -window root -crop "1x1+$1+$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n1; }

e2e_run_player
sleep 5
kill -0 "$player_pid" 2>/dev/null || { cat "$work/tunelark.log" >&2; fail "the player exited"; }
e2e_expect_title_logged "E2E Artist - Art Song"
wait_for 30 test -s "$app/image.jpg" || true
[ -s "$app/image.jpg" ] || fail "no image.jpg after the title change"
sleep 1
# The art box of the default theme lies at (21, 21), 56 x 56, in the player at (40, 50).
art=$(pixel $((40 + 49)) $((50 + 49)))
shot player
case "$art" in
    \#[D-F]?[0-3]?[7-9A]?) ;;
    *) fail "the art box shows $art, not the catalogue's image" ;;
esac
grep -q 'Tunelark/' "$work/http.log" || fail "the catalogue request has no descriptive user agent"

# The station manager from the player's button.
xdotool mousemove $((40 + 171)) $((50 + 105)) click 1
sleep 2
manager=$(xdotool search --name '^Stations$' | head -n1)
[ -n "$manager" ] || fail "the station manager did not open"
shot manager

# "About Tunelark": the menu's last item but one.
xdotool mousemove $((40 + 150)) $((50 + 30)) click 3
sleep 1
xdotool key Up Up Return
sleep 1.5
about=$(xdotool search --name '^About$' | head -n1)
[ -n "$about" ] || fail "the About window did not open"
shot about
xdotool key Escape
sleep 0.5

e2e_terminate_player
echo "album art shown ($art); manager and About opened"
echo "1 passed, 0 failed"
