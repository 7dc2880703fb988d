#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/ and runs each for a given time, one after the other. New inputs go to
# build-fuzz/corpus/<target>/ (the seeds in tests/fuzz/corpus/ are only read); a failing input
# is kept as build-fuzz/artifacts/<target>-crash-... . Prints inputs, inputs per second,
# coverage and features per target, and the input that last found new coverage (far below the
# count of inputs: the target has reached its plateau), and exits non-zero when any target
# failed.
#
#   tools/fuzz.sh [seconds per target] [target ...]     (default 60 s, every target)
#   FUZZ_FLAGS="-max_len=65536" tools/fuzz.sh 600 icy   (more libFuzzer options)
#   FUZZ_FLAGS="-runs=10000000" tools/fuzz.sh 900       (stop at 10 million inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is not installed" >&2
    exit 2
fi

build=build-fuzz
echo "== building the fuzz targets in $build"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTUNELARK_FUZZ=ON -DTUNELARK_WERROR=ON -DTUNELARK_BENCH=OFF >/dev/null
cmake --build "$build" -j"${FUZZ_BUILD_JOBS:-2}" --target fuzz_targets

targets=("$@")
if ((${#targets[@]} == 0)); then
    for dir in tests/fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
if [ -f tools/lsan.supp ] && [ -z "${LSAN_OPTIONS:-}" ]; then
    export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp"
fi

mkdir -p "$build/artifacts"
failed=()
summary=()
for t in "${targets[@]}"; do
    exe="$build/tests/fuzz/fuzz_$t"
    if [ ! -x "$exe" ]; then
        echo "fuzz.sh: no target $t" >&2
        failed+=("$t")
        continue
    fi
    mkdir -p "$build/corpus/$t"
    log="$build/fuzz-$t.log"
    echo "== $t: $seconds s"
    status=0
    # shellcheck disable=SC2086
    "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" ${FUZZ_FLAGS:-} \
        "$build/corpus/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    newest=$(grep -E '^#[0-9]+[[:space:]]+NEW' "$log" | tail -1 | sed 's/^#\([0-9]*\).*/\1/' || true)
    result=ok
    if ((status != 0)); then
        result="FAILED (see $log)"
        failed+=("$t")
        grep -E 'ERROR|invariant failed|SUMMARY|Test unit written' "$log" | head -5 || true
    fi
    summary+=("$(printf '%-16s %12s %10s %8s %8s %12s  %s' "$t" "${runs:-?}" "${rate:-?}" \
        "${cov:-?}" "${ft:-?}" "${newest:--}" "$result")")
done

printf '\n%-16s %12s %10s %8s %8s %12s  %s\n' target inputs inputs/s cov ft "last new" result
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
    echo "fuzz.sh: failed: ${failed[*]}" >&2
    exit 1
fi
