#!/usr/bin/env bash
# The menu entry and the icons: the shipped entry validates, the committed icons are what the
# icon generator draws (within the rounding another processor gives, picture_compare.h), and
# the per-user installation of a program folder whose name needs quoting gives a valid entry
# whose Exec and Path name that folder.
#   desktop_entry_test.sh <source dir> <icon_generator> <picture_compare>
set -euo pipefail
src=$1
generator=$2
picture_compare=$3
work=$(mktemp -d /tmp/tunelark-entry.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$src/assets/tunelark.desktop" || fail "shipped entry does not validate"

"$generator" "$work/drawn"
for size in 48 128 256; do
    "$picture_compare" "$src/assets/icons/tunelark-$size.png" "$work/drawn/tunelark-$size.png" ||
        fail "assets/icons/tunelark-$size.png is not what icon_generator draws now"
    dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print(*struct.unpack(">II", d[16:24]))' \
        "$src/assets/icons/tunelark-$size.png")
    [ "$dims" = "$size $size" ] || fail "tunelark-$size.png is $dims"
done

# The tolerance itself: the drawn icon one step off in a few pixels is the same icon; a region
# 40 steps off, a missing corner or another size is not.
drawn="$work/drawn/tunelark-48.png"
rows=(
    "alike|-region 3x1+24+24 -channel B -evaluate add 0.3922% +channel"
    "alike|-region 48x1+0+30 -channel R -evaluate subtract 0.3922% +channel"
    "differ|-region 8x8+16+16 -channel RGB -evaluate add 15.69% +channel"
    "differ|-region 6x6+0+0 -channel A -evaluate set 100% +channel"
    "differ|-resize 47x48!"
)
for row in "${rows[@]}"; do
    want=${row%%|*}
    read -ra ops <<<"${row#*|}"
    convert "$drawn" "${ops[@]}" "$work/perturbed.png"
    if "$picture_compare" "$src/assets/icons/tunelark-48.png" "$work/perturbed.png" 2>/dev/null; then
        got=alike
    else
        got=differ
    fi
    [ "$got" = "$want" ] || fail "the icon perturbed by '${row#*|}' compares as $got, not $want"
done

# A program folder laid out as the dist target does, under a name with blanks, quotes, a
# dollar, a percent and a backslash.
dist="$work/My \"Radio\" \$HOME 100% back\\slash"
mkdir -p "$dist/icons"
cp "$src/assets/tunelark.desktop" "$dist/"
cp "$src"/assets/icons/*.png "$dist/icons/"
printf '#!/bin/sh\n' >"$dist/tunelark"
chmod +x "$dist/tunelark"

XDG_DATA_HOME="$work/data" bash "$src/scripts/install-desktop-entry.sh" "$dist" >/dev/null
XDG_DATA_HOME="$work/data" bash "$src/scripts/install-desktop-entry.sh" "$dist" >/dev/null # twice is harmless
entry="$work/data/applications/tunelark.desktop"
desktop-file-validate "$entry" || fail "installed entry does not validate"
for size in 48 128 256; do
    [ -f "$work/data/icons/hicolor/${size}x${size}/apps/tunelark.png" ] || fail "icon $size not installed"
done
[ "$(grep -c '^Exec=' "$entry")" = 1 ] || fail "Exec appears more than once"

# Read Exec back as a launcher would: string unescaping, %% to %, then the quoted argument.
python3 - "$entry" "$dist" <<'PY' || fail "Exec or Path does not name the program folder"
import sys
entry, dist = sys.argv[1], sys.argv[2]
values = dict(l.rstrip("\n").split("=", 1) for l in open(entry) if "=" in l)
def unstring(v):
    out, i = [], 0
    while i < len(v):
        if v[i] == "\\" and i + 1 < len(v):
            out.append({"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}.get(v[i + 1], "\\" + v[i + 1]))
            i += 2
        else:
            out.append(v[i]); i += 1
    return "".join(out)
cmd = unstring(values["Exec"]).replace("%%", "%")
assert cmd[0] == '"' and cmd[-1] == '"', cmd
arg, i = [], 1
while i < len(cmd) - 1:
    if cmd[i] == "\\":
        assert cmd[i + 1] in '"`$\\', cmd
        arg.append(cmd[i + 1]); i += 2
    else:
        assert cmd[i] not in '"`$', cmd
        arg.append(cmd[i]); i += 1
assert "".join(arg) == dist + "/tunelark", ("".join(arg), dist)
assert unstring(values["Path"]) == dist, values["Path"]
assert unstring(values["TryExec"]) == dist + "/tunelark", values["TryExec"]
PY

# A folder without the program is refused and writes nothing.
rm -rf "$work/data"
mkdir -p "$work/empty"
if XDG_DATA_HOME="$work/data" bash "$src/scripts/install-desktop-entry.sh" "$work/empty" 2>/dev/null; then
    fail "a folder without the program was accepted"
fi
[ ! -e "$work/data/applications/tunelark.desktop" ] || fail "an entry was written for nothing"
echo "desktop entry: ok"
