#!/usr/bin/env bash
# Five simulated gateways on 127.0.0.21-25 (one with another master key, one answering with another
# type), a scratch documents folder, and the tool on segment 127.0.0. Without a display the scan runs
# on the command line and prints the list.
set -euo pipefail
build=${1:-build}
docs=$(mktemp -d /tmp/telvaro-demo.XXXXXX)
log="$docs/gwsim.log"
"$build/tools/gwsim/telvaro-gwsim" --port 0 --log "$docs/received.jsonl" \
    --gateway 127.0.0.21=0A1B2C --gateway 127.0.0.22=0A1B2D --gateway 127.0.0.23=0A1B2E:wrongkey \
    --gateway 127.0.0.24=0A1B2F:othertype --gateway 127.0.0.25=0A1B30 > "$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q "listening on port" "$log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$log" | head -1)
[ -n "$port" ] || { cat "$log"; echo "simulator did not start" >&2; exit 1; }
echo "Simulated gateways on 127.0.0.21-25, port $port; documents folder $docs"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    QT_QPA_PLATFORM= "$build/src/telvaro" --segment 127.0.0 --port "$port" --documents "$docs"
else
    echo "No display: running the scan on the command line"
    "$build/src/telvaro" scan 127.0.0 --port "$port" --documents "$docs"
    echo "Setup files:"; ls "$docs/MERVANE/W_MBUS_SRV_GWSETUPS/"
fi
