#!/usr/bin/env bash
# Installs what is needed, builds Tunelark, lays out the program folder dist/, puts it in the
# desktop's menu for the current user and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNELARK_TESTS=OFF -DTUNELARK_BENCH=OFF
cmake --build build --target dist -j"$(nproc)"
bash scripts/install-desktop-entry.sh "$PWD/dist" || echo "The menu entry was not installed." >&2
exec ./dist/tunelark
