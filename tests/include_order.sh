#!/usr/bin/env bash
# Every include from one folder of src/ to another points down the order of rooms:
#   app; manager; player; settings; recording; directory and library (side by side, neither
#   includes the other); skin; audio; platform; common.
# Prints the folder-to-folder includes with their counts; fails on an include that points up
# or sideways, and on a folder that has no place in the order yet.
#   include_order.sh [src folder]
set -euo pipefail
src=${1:-$(dirname "$0")/../src}

declare -A rank=([app]=0 [manager]=1 [player]=2 [settings]=3 [recording]=4 [directory]=5
                 [library]=5 [skin]=6 [audio]=7 [platform]=8 [common]=9)

status=0
for dir in "$src"/*/; do
    room=$(basename "$dir")
    if [[ -z ${rank[$room]+set} ]]; then
        echo "src/$room has no place in the order of rooms (add it here and in design.md)"
        status=1
    fi
done

# One line per include between two folders: "from to".
edges=$(cd "$src" && grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' \
            --include='*.h' --include='*.cpp' . |
        sed -E 's#^\./([a-z_]+)/[^:]*:[[:space:]]*\#[[:space:]]*include[[:space:]]*"([a-z_]+)/.*#\1 \2#' |
        awk '$1 != $2')

while read -r count from to; do
    [[ -z $from ]] && continue
    verdict=ok
    if [[ -z ${rank[$from]+set} || -z ${rank[$to]+set} ]]; then
        verdict="UNKNOWN ROOM"
    elif ((rank[$from] > rank[$to])); then
        verdict=UPWARD
    elif ((rank[$from] == rank[$to])); then
        verdict=SIDEWAYS
    fi
    printf '%4d  %-10s -> %-10s %s\n' "$count" "$from" "$to" "$verdict"
    [[ $verdict == ok ]] || status=1
done < <(sort <<<"$edges" | uniq -c)

if ((status != 0)); then
    echo "includes must point down the order of rooms; the lines above marked otherwise do not"
    # Where each offending include is, for the fix.
    (cd "$src" && grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' \
         --include='*.h' --include='*.cpp' . |
     while IFS= read -r line; do
         from=${line#./}; from=${from%%/*}
         to=$(sed -E 's#.*include[[:space:]]*"([a-z_]+)/.*#\1#' <<<"$line")
         [[ $from == "$to" ]] && continue
         if [[ -z ${rank[$from]+set} || -z ${rank[$to]+set} ]] ||
            ((rank[$from] >= rank[$to])); then
             echo "  src/${line#./}"
         fi
     done)
fi
exit $status
