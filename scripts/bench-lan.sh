#!/usr/bin/env bash
# Scan of a LAN segment as a real one behaves: absent addresses cost an ARP resolution that fails
# only after its time-out, which loopback never shows. Two network namespaces joined by a veth pair
# with 1 ms delay each way; the gateway side holds 198.51.100.21-40 (20 simulated gateways on port
# 30), the tool side 198.51.100.1; every other address of the /24 is absent. The documentation range
# exists only inside these namespaces. Times the default `telvaro scan` and `nmap -sT` three rounds
# each (best of each) and prints both, their ratio and how many gateways each found.
# Needs root; skips with one line where namespaces cannot be made.
set -euo pipefail
build=${1:-build}
telvaro=$(realpath "$build/src/telvaro")
gwsim=$(realpath "$build/tools/gwsim/telvaro-gwsim")
rounds=3

skip() {
    echo "bench-lan: skipped: $*"
    exit 0
}
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo > /dev/null && sudo -n true 2> /dev/null; then
        exec sudo -n bash "$0" "$@"
    fi
    skip "needs root for network namespaces"
fi
for tool in ip tc nmap bc; do
    command -v "$tool" > /dev/null || { echo "bench-lan: $tool missing (make deps)"; exit 1; }
done

tool_ns="telvaro-bench-tool-$$"
gw_ns="telvaro-bench-gw-$$"
work=$(mktemp -d /tmp/telvaro-bench-lan.XXXXXX)
sim=""
cleanup() {
    if [ -n "$sim" ]; then
        kill "$sim" 2> /dev/null || true
        wait "$sim" 2> /dev/null || true
    fi
    ip netns del "$tool_ns" 2> /dev/null || true
    ip netns del "$gw_ns" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$tool_ns" 2> /dev/null || skip "network namespaces cannot be made here"
ip netns add "$gw_ns" 2> /dev/null || skip "network namespaces cannot be made here"
ip -n "$tool_ns" link add veth-tool type veth peer name veth-gw netns "$gw_ns" 2> /dev/null ||
    skip "no veth pair between network namespaces here"
ip -n "$tool_ns" link set lo up
ip -n "$gw_ns" link set lo up
ip -n "$tool_ns" addr add 198.51.100.1/24 dev veth-tool
for host in $(seq 21 40); do
    ip -n "$gw_ns" addr add "198.51.100.$host/24" dev veth-gw
done
ip -n "$tool_ns" link set veth-tool up
ip -n "$gw_ns" link set veth-gw up
# Without netem (a kernel without sch_netem) the pair runs without added delay; the cost that
# matters, the failing address resolution of absent hosts, is there either way.
delay="netem 1 ms each way"
if ! ip netns exec "$tool_ns" tc qdisc add dev veth-tool root netem delay 1ms 2> /dev/null ||
    ! ip netns exec "$gw_ns" tc qdisc add dev veth-gw root netem delay 1ms 2> /dev/null; then
    delay="no added delay (tc netem not available in this kernel)"
    echo "bench-lan: tc netem not available in this kernel; the veth pair runs without added delay"
fi

ip netns exec "$gw_ns" "$gwsim" --gateways 198.51.100.21-40 --port 30 --log /dev/null > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q "listening on port" "$work/sim.out" && break; sleep 0.1; done
grep -q "listening on port 30 " "$work/sim.out" || {
    cat "$work/sim.out"
    echo "bench-lan: simulator did not start"
    exit 1
}

now() { date +%s.%N; }
# One timed run in the tool namespace with an empty neighbour table, so that every round resolves
# every address again. Prints "seconds found".
run_telvaro() {
    local t0 t1
    ip -n "$tool_ns" neigh flush all
    t0=$(now)
    ip netns exec "$tool_ns" "$telvaro" scan 198.51.100 --documents "$work/docs" "$@" > "$work/telvaro.out" 2> /dev/null
    t1=$(now)
    echo "$(echo "$t1 - $t0" | bc -l) $(grep -c -E '^198\.51\.100\.' "$work/telvaro.out" || true)"
}
run_nmap() {
    local t0 t1
    ip -n "$tool_ns" neigh flush all
    t0=$(now)
    ip netns exec "$tool_ns" nmap -sT -n -p 30 198.51.100.0/24 > "$work/nmap.out" 2>&1
    t1=$(now)
    echo "$(echo "$t1 - $t0" | bc -l) $(grep -c -E '^30/tcp +open' "$work/nmap.out" || true)"
}
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

best_t="" best_n=""
found_t=0 found_n=0
for round in $(seq "$rounds"); do
    read -r t found_t < <(run_telvaro)
    read -r n found_n < <(run_nmap)
    printf 'round %d: telvaro %.3f s, nmap %.3f s\n' "$round" "$t" "$n"
    best_t=$(min "$best_t" "$t")
    best_n=$(min "$best_n" "$n")
done
echo "198.51.100.0/24 in two namespaces, 20 gateways at .21-.40, 234 addresses absent, $delay; best of $rounds:"
printf 'telvaro scan (default):         %6.3f s, %d gateways found\n' "$best_t" "$found_t"
printf 'nmap -sT -n -p 30:              %6.3f s, %d gateways found\n' "$best_n" "$found_n"
printf 'ratio telvaro / nmap:           %6.2f (target: at most 1)\n' "$(echo "$best_t / $best_n" | bc -l)"

