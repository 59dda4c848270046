#!/usr/bin/env bash
# Builds and runs the hostile-peer matrix and prints its table: row, expected, seen, verdict.
# Usage: scripts/hardening.sh <build dir>
set -uo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 2
}
cmake --build "$build" --target test_gui_TestHostilePeers -j "${JOBS:-2}" || exit 2

docs=$(mktemp -d /tmp/telvaro-hardening.XXXXXX)
trap 'rm -rf "$docs"' EXIT
out="$docs/out.txt"
QT_QPA_PLATFORM=offscreen TELVARO_SHARED_DOCUMENTS="$docs" TELVARO_HARDENING_REPORT=1 \
    timeout 600 "$build/tests/test_gui_TestHostilePeers" > "$out" 2>&1
rc=$?

rows=0
bad=0
printf '%-38s | %-4s | %s\n' "row" "ok" "expected / seen"
printf '%s\n' "$(printf -- '-%.0s' $(seq 120))"
while IFS='|' read -r _ row rest; do
    # rest: expected fields ... then seen fields; both halves hold the same number of '|' separated parts.
    IFS='|' read -r -a parts <<< "$rest"
    half=$(( ${#parts[@]} / 2 ))
    expected=$(IFS='|'; echo "${parts[*]:0:$half}")
    seen=$(IFS='|'; echo "${parts[*]:$half}")
    seen_cmp=${seen% (*ms)}
    rows=$((rows + 1))
    if [ "$expected" = "$seen_cmp" ]; then verdict=yes; else verdict=NO; bad=$((bad + 1)); fi
    printf '%-38s | %-4s | expected: %s\n' "$row" "$verdict" "$expected"
    printf '%-38s | %-4s | seen:     %s\n' "" "" "$seen"
done < <(sed -n 's/.*\(HARDENING|.*\)$/\1/p' "$out")

echo
grep -E '^(FAIL!|Totals)' "$out" || true
if [ "$rc" -eq 0 ] && [ "$bad" -eq 0 ] && [ "$rows" -gt 0 ]; then
    echo "hardening: PASS ($rows rows)"
    exit 0
fi
echo "hardening: FAIL ($bad of $rows rows differ, test exit $rc)"
[ "$rows" -eq 0 ] && tail -20 "$out"
exit 1
