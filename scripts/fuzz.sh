#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for the given seconds, starting
# from its corpus in fuzz/corpus/<target>/ (on a scratch copy). Fails on the first crash, leak or
# broken invariant; the input is kept in fuzz-out/<target>/.
# Usage: scripts/fuzz.sh [seconds per target] [build dir]
#   FUZZ_SEED=N     repeatable run (CI uses a fixed seed; 0, the default, picks a random one)
#   FUZZ_JOBS=N     build jobs (default 2)
#   FUZZ_TARGETS="ini file"  only these targets
#   FUZZ_MERGE=1    after the run, merge what it found into fuzz/corpus/<target>/ and minimise it
#                   (-merge=1), so the corpora accumulate across runs
# Inputs are capped per target (-max_len): longer ones teach the parsers nothing new and slow every
# run below a thousand executions a second.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
jobs=${FUZZ_JOBS:-2}

declare -A maxlen=([address]=64 [answer]=2048 [devicelist]=4096 [file]=4096 [ini]=2048 [keylist]=4096)

for tool in clang clang++ cmake ninja; do
    command -v "$tool" > /dev/null || { echo "fuzz: $tool is missing (make deps)" >&2; exit 2; }
done

if [ ! -f "$build/build.ninja" ]; then
    mkdir -p "$build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTELVARO_FUZZ=ON -DTELVARO_SANITIZE=ON > "$build/configure.log" 2>&1 \
        || { cat "$build/configure.log" >&2; exit 2; }
fi
cmake --build "$build" --target fuzz_all -j "$jobs"

scratch=$(mktemp -d /tmp/telvaro-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
summary=()
for exe in "$build"/fuzz/fuzz_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    name=$(basename "$exe")
    target=${name#fuzz_}
    if [ -n "${FUZZ_TARGETS:-}" ] && [[ " $FUZZ_TARGETS " != *" $target "* ]]; then
        continue
    fi
    seeds="$root/fuzz/corpus/$target"
    corpus="$scratch/$target"
    mkdir -p "$corpus" "$scratch/artifacts/$target"
    [ -d "$seeds" ] && cp "$seeds"/* "$corpus"/ 2> /dev/null || true
    log="$scratch/$target.log"
    start=$(date +%s.%N)
    set +e
    "$exe" "$corpus" -max_total_time="$seconds" -seed="${FUZZ_SEED:-0}" -timeout=10 -rss_limit_mb=2048 \
        -max_len="${maxlen[$target]:-4096}" -print_final_stats=1 \
        -artifact_prefix="$scratch/artifacts/$target/" > "$log" 2>&1
    rc=$?
    set -e
    end=$(date +%s.%N)
    runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
    rate=$(awk -v r="${runs:-0}" -v t="$took" 'BEGIN { if (t > 0) printf "%.0f", r / t; else print "?" }')
    if [ "$rc" -ne 0 ]; then
        failed=1
        summary+=("$(printf '%-12s FAILED after %s s (exit %d)' "$target" "$took" "$rc")")
        echo "---- $target: crash ----" >&2
        grep -E "ERROR|broken|SUMMARY|Test unit written|^ *#[0-9]+ " "$log" | head -40 >&2 || true
        mkdir -p "$root/fuzz-out/$target"
        cp "$scratch/artifacts/$target"/* "$root/fuzz-out/$target/" 2> /dev/null || true
        continue
    fi
    summary+=("$(printf '%-12s %10s executions in %8s s, %6s/s' "$target" "${runs:-?}" "$took" "$rate")")
    if [ "${FUZZ_MERGE:-0}" = 1 ]; then
        merged="$scratch/merged-$target"
        mkdir -p "$merged" "$seeds"
        "$exe" -merge=1 -max_len="${maxlen[$target]:-4096}" "$merged" "$seeds" "$corpus" > "$scratch/$target.merge.log" 2>&1
        rm -f "$seeds"/*
        cp "$merged"/* "$seeds"/ 2> /dev/null || true
        summary+=("$(printf '%-12s corpus merged: %d inputs in fuzz/corpus/%s' "" "$(ls "$seeds" | wc -l)" "$target")")
    fi
done

echo "fuzzing, $seconds s per target:"
printf '  %s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
    echo "fuzz: FAILED (inputs kept in fuzz-out/)" >&2
    exit 1
fi
echo "fuzz: no crash"
