#!/usr/bin/env bash
# Installs Tunelark's menu entry and icons for the current user, pointing at a program folder:
#   install-desktop-entry.sh <program folder>
# Writes $XDG_DATA_HOME/applications/tunelark.desktop (default ~/.local/share) from the folder's
# tunelark.desktop, with the program's absolute path, and the icons under icons/hicolor/.
set -euo pipefail

dist=$(cd "${1:?usage: install-desktop-entry.sh <program folder>}" && pwd)
[ -x "$dist/tunelark" ] || { echo "no tunelark program in $dist" >&2; exit 1; }
[ -f "$dist/tunelark.desktop" ] || { echo "no tunelark.desktop in $dist" >&2; exit 1; }
case "$dist" in *$'\n'* | *$'\r'* | *$'\t'*) echo "unusable folder name: $dist" >&2; exit 1 ;; esac

data=${XDG_DATA_HOME:-$HOME/.local/share}

# A desktop-entry string value: backslashes doubled.
string_value() { printf '%s' "${1//\\/\\\\}"; }
# An Exec argument: in double quotes with \ " ` $ escaped, then as a string value, with % doubled.
exec_value() {
    local a=$1
    a=${a//\\/\\\\}; a=${a//\"/\\\"}; a=${a//\`/\\\`}; a=${a//\$/\\\$}
    a=$(string_value "\"$a\"")
    printf '%s' "${a//%/%%}"
}

mkdir -p "$data/applications"
for size in 48 128 256; do
    if [ -f "$dist/icons/tunelark-$size.png" ]; then
        mkdir -p "$data/icons/hicolor/${size}x${size}/apps"
        cp "$dist/icons/tunelark-$size.png" "$data/icons/hicolor/${size}x${size}/apps/tunelark.png"
    fi
done

entry="$data/applications/tunelark.desktop"
tmp=$(mktemp "$data/applications/.tunelark.desktop.XXXXXX")
while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
    Exec=*) printf 'Exec=%s\n' "$(exec_value "$dist/tunelark")" ;;
    TryExec=* | Path=*) ;;
    *) printf '%s\n' "$line" ;;
    esac
    # The program runs in its own folder; TryExec hides the entry once the folder is gone.
    if [ "$line" = "[Desktop Entry]" ]; then
        printf 'TryExec=%s\n' "$(string_value "$dist/tunelark")"
        printf 'Path=%s\n' "$(string_value "$dist")"
    fi
done <"$dist/tunelark.desktop" >"$tmp"
chmod 644 "$tmp"
mv "$tmp" "$entry"
if command -v update-desktop-database >/dev/null 2>&1; then
    update-desktop-database -q "$data/applications" 2>/dev/null || true
fi
echo "Menu entry installed: $entry"
