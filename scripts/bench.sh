#!/usr/bin/env bash
# Scan benchmarks on loopback, each beside `nmap -sT` on the same addresses and port in the same run
# (median of BENCH_ROUNDS rounds, default 5; the tool and nmap take turns):
#  - 254 simulated gateways on 127.0.10.1-254 answering at once, every setup stored durably, on a
#    quiet disk and while another process keeps writing 1 MB blocks with fsync to the same disk;
#  - 20 gateways on 127.0.11.1-20;
#  - 5 gateways on 127.0.12.1-5 with an empty scan history and with a history of 20 MB (10
#    segments x 100 scans), wall time and peak memory;
#  - the longest event-loop stall (bench/bench_stall, median and range of BENCH_ROUNDS runs) while
#    254 gateways answer and while the history is updated, quiet and with the busy disk.
# The scratch folder lies in /tmp, on the disk the busy writer writes to.
set -euo pipefail
build=${1:-build}
rounds=${BENCH_ROUNDS:-5}
telvaro=$(realpath "$build/src/telvaro")
gwsim=$(realpath "$build/tools/gwsim/telvaro-gwsim")
stall=$(realpath "$build/bench/bench_stall")
for tool in nmap bc python3; do
    command -v "$tool" > /dev/null || { echo "bench: $tool missing (make deps)"; exit 1; }
done

work=$(mktemp -d /tmp/telvaro-bench.XXXXXX)
pids=()
busy=""
cleanup() {
    [ -n "$busy" ] && kill "$busy" 2> /dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# start_sim NAME RANGE: a simulator answering without delay; sets port_NAME.
start_sim() {
    local log="$work/sim-$1.log"
    "$gwsim" --port 0 --delay 0 --gateways "$2" --log /dev/null > "$log" 2>&1 &
    pids+=("$!")
    for _ in $(seq 100); do grep -q "listening on port" "$log" && break; sleep 0.1; done
    local port
    port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$log" | head -1)
    [ -n "$port" ] || { echo "bench: the simulator for $2 did not start"; cat "$log"; exit 1; }
    printf -v "port_$1" %s "$port"
}

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { printf %.2f "$(echo "$1 / $2" | bc -l)"; }

# run_telvaro SEGMENT PORT DOCS EXPECTED [rss]: prints "seconds peak_kib" (peak 0 without rss);
# fails unless every expected gateway is listed as stored and the exit code is 0. Only with rss is
# the tool started under time(1), whose own start (about 7 ms here) then counts in the seconds.
run_telvaro() {
    local t0 t1 code=0 measure=()
    echo 0 > "$work/rss"
    [ "${5:-}" = rss ] && measure=(/usr/bin/env time -f "%M" -o "$work/rss")
    t0=$(now)
    "${measure[@]}" "$telvaro" scan "$1" --port "$2" --documents "$3" > "$work/out" 2> "$work/err" || code=$?
    t1=$(now)
    local stored
    stored=$(awk -F'\t' '$4 == "stored"' "$work/out" | wc -l)
    if [ "$code" -ne 0 ] || [ "$stored" -ne "$4" ]; then
        echo "bench: telvaro scan $1 exit $code, $stored of $4 stored" >&2
        cat "$work/err" >&2
        exit 1
    fi
    echo "$(echo "$t1 - $t0" | bc -l) $(tail -1 "$work/rss")"
}

# run_nmap RANGE PORT EXPECTED: prints seconds.
run_nmap() {
    local t0 t1 open
    t0=$(now)
    nmap -sT -Pn -n -p "$2" "$1" -oG - > "$work/nmap" 2>&1
    t1=$(now)
    open=$(grep -c "$2/open" "$work/nmap" || true)
    [ "$open" -eq "$3" ] || { echo "bench: nmap found $open of $3 open" >&2; exit 1; }
    echo "$t1 - $t0" | bc -l
}

# side_by_side LABEL SEGMENT PORT EXPECTED GOAL
side_by_side() {
    local docs="$work/docs-$RANDOM" ts=() ns=()
    mkdir -p "$docs"
    run_telvaro "$2" "$3" "$docs" "$4" > /dev/null # first files and folders made; not counted
    for _ in $(seq "$rounds"); do
        ns+=("$(run_nmap "$2.0-254" "$3" "$4")")
        read -r t _ < <(run_telvaro "$2" "$3" "$docs" "$4")
        ts+=("$t")
    done
    local tm nm
    tm=$(printf '%s\n' "${ts[@]}" | median)
    nm=$(printf '%s\n' "${ns[@]}" | median)
    printf '%-44s telvaro %.3f s, nmap -sT %.3f s, ratio %s (goal <= %s)\n' "$1:" "$tm" "$nm" "$(ratio "$tm" "$nm")" "$5"
}

# stall_runs: bench_stall ROUNDS times on a copy of the 20 MB history; prints the median and the
# range of each figure.
stall_runs() {
    local longest=() idle=() atEnd=() wall=() out
    for _ in $(seq "$rounds"); do
        out=$("$stall" "$gwsim" --history "$work/stall-history.jsonl")
        grep -q "setups stored: 254; history: recorded" <<< "$out" || { echo "bench: $out" >&2; exit 1; }
        longest+=("$(sed -n 's/^longest event-loop stall: \([0-9]*\) ms.*/\1/p' <<< "$out")")
        idle+=("$(sed -n 's/.*idle loop before the scan: \([0-9]*\) ms.*/\1/p' <<< "$out")")
        atEnd+=("$(sed -n 's/^longest stall from the last setup stored to the history updated: \([0-9]*\) ms/\1/p' <<< "$out")")
        wall+=("$(sed -n 's/^scan wall time: \([0-9]*\) ms.*/\1/p' <<< "$out")")
    done
    spread() { printf '%s (%s to %s)' "$(printf '%s\n' "$@" | median)" "$(printf '%s\n' "$@" | sort -g | head -1)" \
        "$(printf '%s\n' "$@" | sort -g | tail -1)"; }
    echo "  longest event-loop stall: $(spread "${longest[@]}") ms, median (range) of $rounds runs (goal <= 10 ms)"
    echo "  idle loop before each scan: $(spread "${idle[@]}") ms"
    echo "  from the last setup stored to the history updated: $(spread "${atEnd[@]}") ms"
    echo "  scan wall time: $(spread "${wall[@]}") ms; 254 of 254 answered and stored, history recorded"
}

start_sim all 127.0.10.1-254
start_sim twenty 127.0.11.1-20
start_sim five 127.0.12.1-5

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); median of $rounds rounds"
side_by_side "254 gateways, quiet disk" 127.0.10 "$port_all" 254 2.5
side_by_side "20 gateways, quiet disk" 127.0.11 "$port_twenty" 20 1.0

# The history: 10 segments x 100 scans x 135 gateways, the scanned segment among them, interleaved.
history_docs="$work/docs-history"
mkdir -p "$history_docs/MERVANE"
python3 - "$history_docs/MERVANE/Telvaro-Scans.jsonl" << 'PY'
import json, sys
segments = ["127.0.12"] + ["10.%d.0" % i for i in range(1, 10)]
with open(sys.argv[1], "w") as out:
    for scan in range(100):
        for s in segments:
            gws = [{"ip": "%s.%d" % (s, g % 254 + 1), "gwid": "00.%02X.%02X" % (scan % 256, g % 256),
                    "firmware": "1.4.12", "state": "stored", "setupHash": "%064x" % (scan * 1000 + g)}
                   for g in range(135)]
            line = {"segment": s, "time": "2024-05-%02dT09:%02d:00.000+02:00" % (scan % 28 + 1, scan % 60),
                    "gateways": gws}
            out.write(json.dumps(line, separators=(",", ":")) + "\n")
PY
size_mb=$(echo "$(stat -c %s "$history_docs/MERVANE/Telvaro-Scans.jsonl") / 1048576" | bc -l)
empty_docs="$work/docs-empty"
mkdir -p "$empty_docs"
run_telvaro 127.0.12 "$port_five" "$empty_docs" 5 > /dev/null
read -r first first_kb < <(run_telvaro 127.0.12 "$port_five" "$history_docs" 5 rss)
es=() hs=() hk=()
for _ in $(seq "$rounds"); do
    read -r t _ < <(run_telvaro 127.0.12 "$port_five" "$empty_docs" 5 rss)
    es+=("$t")
    read -r t kb < <(run_telvaro 127.0.12 "$port_five" "$history_docs" 5 rss)
    hs+=("$t")
    hk+=("$kb")
done
em=$(printf '%s\n' "${es[@]}" | median)
hm=$(printf '%s\n' "${hs[@]}" | median)
peak=$(printf '%s\n' "${hk[@]}" | sort -g | tail -1)
printf '%-44s %.3f s with it, %.3f s with an empty one, ratio %s (goal <= 1.3); peak %d MiB (goal < 64)\n' \
    "history of $(printf %.1f "$size_mb") MB, 5 gateways:" "$hm" "$em" "$(ratio "$hm" "$em")" "$((peak / 1024))"
printf '%-44s %.3f s, peak %d MiB (it compacts the history once)\n' "  first scan with it after an upgrade:" \
    "$first" "$((first_kb / 1024))"

cp "$history_docs/MERVANE/Telvaro-Scans.jsonl" "$work/stall-history.jsonl"
cp "$history_docs/MERVANE/Telvaro-Scans.jsonl.compacted" "$work/stall-history.jsonl.compacted" 2> /dev/null || true
echo "event-loop stall, quiet disk (254 gateways, history of $(printf %.1f "$size_mb") MB):"
stall_runs

# Another program keeps flushing to the same disk: one process writing 1 MB and flushing it, again
# and again (a shell loop starting dd for each block would load the CPU with process starts too).
python3 - "$work/busy.bin" << 'PY' &
import os, sys
fd = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
block = b"\0" * 1048576
while True:
    os.pwrite(fd, block, 0)
    os.fsync(fd)
PY
busy=$!
side_by_side "254 gateways, busy disk" 127.0.10 "$port_all" 254 3
echo "event-loop stall, busy disk:"
stall_runs
kill "$busy" 2> /dev/null || true
wait "$busy" 2> /dev/null || true
busy=""
