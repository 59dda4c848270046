#!/usr/bin/env bash
# Builds and runs the hardening matrices and prints their table: row, expected, seen, verdict.
#   - hostile gateways (tests/gui/TestHostilePeers) and what gateways do with a setup
#     (tests/unit/TestGatewaySession, its transfer table)
#   - the shared folders as other programs and users leave them (tests/unit/TestSharedFolderSafety):
#     links, FIFOs, devices and huge files in place of a file, other encodings, the round trip of
#     the setup record through its file, hand-edited values that must be refused
# Usage: scripts/hardening.sh <build dir>
set -uo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 2
}
tests=(test_gui_TestHostilePeers test_unit_TestGatewaySession test_unit_TestSharedFolderSafety)
cmake --build "$build" --target "${tests[@]}" -j "${JOBS:-2}" || exit 2

docs=$(mktemp -d /tmp/telvaro-hardening.XXXXXX)
trap 'rm -rf "$docs"' EXIT

rows=0
bad=0
failed_tests=0
printf '%-52s | %-4s | %s\n' "row" "ok" "expected / seen"
printf '%s\n' "$(printf -- '-%.0s' $(seq 130))"
for test in "${tests[@]}"; do
    out="$docs/$test.txt"
    mkdir -p "$docs/$test"
    QT_QPA_PLATFORM=offscreen TELVARO_SHARED_DOCUMENTS="$docs/$test" TELVARO_HARDENING_REPORT=1 \
        timeout 600 "$build/tests/$test" > "$out" 2>&1
    rc=$?
    [ "$rc" -eq 0 ] || failed_tests=$((failed_tests + 1))
    while IFS='|' read -r _ row rest; do
        # rest: expected fields ... then seen fields; both halves hold the same number of '|' separated parts.
        IFS='|' read -r -a parts <<< "$rest"
        half=$(( ${#parts[@]} / 2 ))
        expected=$(IFS='|'; echo "${parts[*]:0:$half}")
        seen=$(IFS='|'; echo "${parts[*]:$half}")
        seen_cmp=${seen% (*ms)}
        rows=$((rows + 1))
        if [ "$expected" = "$seen_cmp" ]; then verdict=yes; else verdict=NO; bad=$((bad + 1)); fi
        printf '%-52s | %-4s | expected: %s\n' "$row" "$verdict" "$expected"
        printf '%-52s | %-4s | seen:     %s\n' "" "" "$seen"
    done < <(sed -n 's/.*\(HARDENING|.*\)$/\1/p' "$out")
    grep -E '^(FAIL!|Totals)' "$out" | sed "s/^/$test: /" || true
done

echo
if [ "$failed_tests" -eq 0 ] && [ "$bad" -eq 0 ] && [ "$rows" -gt 0 ]; then
    echo "hardening: PASS ($rows rows)"
    exit 0
fi
echo "hardening: FAIL ($bad of $rows rows differ, $failed_tests test programs failed)"
[ "$rows" -eq 0 ] && tail -20 "$docs"/*.txt
exit 1
