#!/usr/bin/env bash
# Scan of 127.0.0.0/24 with 20 simulated gateways answering after 20 ms: the default parallel scan
# against the one-at-a-time scan, wall time, ratio and peak memory; then the event-loop stall while
# 254 exchanges run.
set -euo pipefail
build=${1:-build}
docs=$(mktemp -d /tmp/telvaro-bench.XXXXXX)
log="$docs/gwsim.log"
"$build/tools/gwsim/telvaro-gwsim" --port 0 --delay 20 --gateways 127.0.0.21-40 --log /dev/null > "$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q "listening on port" "$log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$log" | head -1)

measure() { # prints "seconds peak_kb listed"
    local t0 t1 rss listed
    t0=$(date +%s.%N)
    /usr/bin/env time -f "%M" -o "$docs/rss" "$build/src/telvaro" scan 127.0.0 --port "$port" --documents "$docs" "$@" \
        > "$docs/out" 2>/dev/null
    t1=$(date +%s.%N)
    rss=$(tail -1 "$docs/rss"); listed=$(grep -c "^127\." "$docs/out")
    echo "$(echo "$t1 - $t0" | bc -l) $rss $listed"
}
read -r par_s par_kb par_n < <(measure)
echo "all at once (default): $(printf %.3f "$par_s") s wall, peak $par_kb KiB, $par_n gateways listed"
read -r one_s one_kb one_n < <(measure --parallel 1)
echo "one at a time:         $(printf %.3f "$one_s") s wall, peak $one_kb KiB, $one_n gateways listed"
echo "ratio: $(printf %.1f "$(echo "$one_s / $par_s" | bc -l)")x"
kill $sim 2>/dev/null || true
if [ -x "$build/bench/bench_stall" ]; then "$build/bench/bench_stall" "$build/tools/gwsim/telvaro-gwsim"; fi
