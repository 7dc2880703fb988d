#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as errors and runs
# every test (unit, gui, integration, end to end). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== formatting"
mapfile -t sources < <(git ls-files -co --exclude-standard -- 'src/*' 'tests/*' 'bench/*' 'tools/*' \
    | grep -E '\.(cpp|h|c)$' || true)
if ((${#sources[@]})); then
    clang-format --dry-run --Werror "${sources[@]}"
fi

echo "== build"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNELARK_WERROR=ON
cmake --build build-test -j"$(nproc)"

echo "== tests"
(cd build-test && ctest --output-on-failure --timeout 600 "$@")

# Every fuzz target ran over its corpus above; with clang each also fuzzes for a while.
if command -v clang++ >/dev/null && [ -z "${TUNELARK_NO_FUZZ:-}" ]; then
    echo "== fuzzing (${TUNELARK_FUZZ_SECONDS:-20} s per target)"
    bash tools/fuzz.sh "${TUNELARK_FUZZ_SECONDS:-20}"
fi
