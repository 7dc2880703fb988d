#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan and runs
# the whole test suite there. Leaks of third-party libraries are suppressed by tools/lsan.supp.
#
#   tools/sanitize.sh [ctest arguments...]     e.g. tools/sanitize.sh -R test_common
#
# CC/CXX choose the compiler (gcc by default; CC=clang CXX=clang++ for clang); JOBS the build
# parallelism (default: the number of cores). ccache is used when installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-asan}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNELARK_WERROR=ON \
    -DTUNELARK_SANITIZE=ON -DTUNELARK_BENCH=OFF "${launcher[@]}"
cmake --build "$build" -j"${JOBS:-$(nproc)}"
cd "$build"
ctest --output-on-failure --timeout 1200 "$@"
