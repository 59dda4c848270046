#!/usr/bin/env bash
# Command line against the simulator on 127.0.0.x: scan --json, send with its exit codes.
set -u
telvaro=$1
gwsim=$2
work=$(mktemp -d)
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
fails=0
passes=0
check() { # name, condition result
    if [ "$2" = 0 ]; then passes=$((passes + 1)); echo "PASS: $1"; else fails=$((fails + 1)); echo "FAIL: $1"; fi
}

"$gwsim" --port 0 --log "$work/received.jsonl" \
    --gateway 127.0.0.21=0A1B2C --gateway 127.0.0.22=0A1B2D:nak --gateway 127.0.0.23=0A1B2E:wrongkey \
    --gateway 127.0.0.24=0A1B2F:othertype > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q "listening on port" "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
[ -n "$port" ] || { cat "$work/sim.out"; echo "0 passed, 1 failed"; exit 1; }
docs="$work/docs"

"$telvaro" scan 127.0.0 --port "$port" --json --documents "$docs" > "$work/scan.json" 2> "$work/scan.err"
check "scan exits 0" $?
expected='[{"firmware":"1.4.12","gwid":"0A.1B.2C","ip":"127.0.0.21"},{"firmware":"1.4.12","gwid":"0A.1B.2D","ip":"127.0.0.22"},{"firmware":"???","gwid":"0A.1B.2E","ip":"127.0.0.23"},{"firmware":"","gwid":"0A.1B.2F","ip":"127.0.0.24"}]'
actual=$(python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), sort_keys=True, separators=(",",":")))' "$work/scan.json")
[ "$actual" = "$expected" ]; check "scan --json lists the gateways in order" $?
grep -q "gefundene Gateways: 4" "$work/scan.err"; check "scan counts every answer" $?
[ -f "$docs/MERVANE/W_MBUS_SRV_GWSETUPS/SETUPGW_0A_1B_2C.GWINI" ]; check "scan stores the setup file" $?

"$telvaro" scan 127.0.0 --port "$port" --documents "$docs" > "$work/scan.txt" 2>/dev/null
printf '127.0.0.21\t0A.1B.2C\t1.4.12\n' | cmp -s - <(head -1 "$work/scan.txt"); check "scan prints one line per gateway" $?

setup="$docs/MERVANE/W_MBUS_SRV_GWSETUPS/SETUPGW_0A_1B_2C.GWINI"
sed -i 's/^PORT=.*/PORT=5123\r/' "$setup"
"$telvaro" send 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/send.out" 2>&1
check "send acknowledged exits 0" $?
grep -q "Die Übertragung war erfolgreich!" "$work/send.out"; check "send prints the success message" $?
python3 - "$work/received.jsonl" <<'PY'
import json, sys
rows = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
rec = bytes.fromhex(rows[-1]["record"])
assert rows[-1]["wellFormed"] and rows[-1]["gwid"] == "0A.1B.2C"
assert rec[66] | rec[67] << 8 == 5123, "port from the file"
PY
check "the gateway received the file's port" $?

"$telvaro" send 127.0.0.22 0A.1B.2D --port "$port" --documents "$docs" > "$work/nak.out" 2>&1
[ $? = 1 ]; check "send with NAK exits 1" $?
grep -q "Die Übertragung war NICHT erfolgreich!" "$work/nak.out"; check "send with NAK prints the failure" $?

"$telvaro" send 127.0.0.21 0A.1B.2D --port "$port" --documents "$docs" > "$work/other.out" 2>&1
[ $? = 1 ]; check "send to an address where another gateway answers exits 1" $?

"$telvaro" send 127.0.0.21 0A.1B.99 --port "$port" --documents "$docs" > "$work/missing.out" 2>&1
[ $? = 2 ]; check "send without a setup file exits 2" $?
grep -q "Kein Setup für diese GWID vorhanden!" "$work/missing.out"; check "missing setup message" $?

sed -i 's/^FEST_IP=.*/FEST_IP=1.2.x.4\r/' "$setup"
"$telvaro" send 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/bad.out" 2>&1
[ $? = 2 ]; check "send of a file that cannot be converted exits 2" $?
grep -q "FEST_IP" "$work/bad.out"; check "conversion message names the key" $?

"$telvaro" --help | grep -q "telvaro scan A.B.C"; check "--help documents the commands" $?
"$telvaro" --version | grep -q "Telvaro V1.5.3"; check "--version" $?

echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
