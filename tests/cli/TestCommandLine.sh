#!/usr/bin/env bash
# The command line against the simulator on 127.0.0.x: scan with its rows, files and exit codes,
# send with its refusals and outcomes, and usage errors that never open a window.
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
same() { # name, expected, actual
    if [ "$2" = "$3" ]; then check "$1" 0; else check "$1" 1; printf '  expected: %s\n  actual:   %s\n' "$2" "$3"; fi
}

"$gwsim" --port 0 --log "$work/received.jsonl" \
    --gateway 127.0.0.21=0A1B2C --gateway 127.0.0.22=0A1B2D:nak --gateway 127.0.0.23=0A1B2E:wrongkey \
    --gateway 127.0.0.24=0A1B2F:othertype --gateway 127.0.0.25=0A1B30:reset \
    --gateway 127.0.0.26=0A1B31:keepsold --gateway 127.0.0.27=0A1B32:longrestart > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q "listening on port" "$work/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
[ -n "$port" ] || { cat "$work/sim.out"; echo "0 passed, 1 failed"; exit 1; }
docs="$work/docs"
setups="$docs/MERVANE/W_MBUS_SRV_GWSETUPS"
mkdir -p "$docs/MERVANE" && printf '[TCP]\r\nVERIFYTIMEOUT=1500\r\n' > "$docs/MERVANE/telvaro.INI"
received() { grep -c '"event":"setup"' "$work/received.jsonl" 2>/dev/null || echo 0; }

"$telvaro" scan 127.0.0 --port "$port" --json --documents "$docs" > "$work/scan.json" 2> "$work/scan.err"
check "scan exits 0" $?
canon() { python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), sort_keys=True, separators=(",",":"), ensure_ascii=False))' "$1"; }
row() { echo "{\"change\":\"$5\",\"firmware\":\"$3\",\"gwid\":\"$2\",\"ip\":\"$1\",\"state\":\"$4\"}"; }
gateways="$(row 127.0.0.21 0A.1B.2C 1.4.12 stored new),$(row 127.0.0.22 0A.1B.2D 1.4.12 stored new),$(row 127.0.0.23 0A.1B.2E "???" other-key new),$(row 127.0.0.24 0A.1B.2F "" other-type new),$(row 127.0.0.25 0A.1B.30 "" incomplete new),$(row 127.0.0.26 0A.1B.31 1.4.12 stored new),$(row 127.0.0.27 0A.1B.32 1.4.12 stored new)"
counts='{"closed":0,"gateway":4,"incomplete":1,"other-key":1,"other-type":1,"refused":248,"silent":0,"timeout":0}'
same "scan --json reports segment, gateways in order, missing and counts" \
    "{\"counts\":$counts,\"gateways\":[$gateways],\"missing\":[],\"segment\":\"127.0.0\"}" "$(canon "$work/scan.json")"
same "scan says how many answered and that it is the first scan" \
    "Scan beendet: 7 Antworten; erster Scan dieses Segments" "$(tail -1 "$work/scan.err")"
[ -f "$setups/SETUPGW_0A_1B_2C.GWINI" ]; check "scan stores the setup file" $?
[ -f "$docs/MERVANE/Telvaro-Scans.jsonl" ]; check "scan is recorded in the history" $?

"$telvaro" scan 127.0.0 --port "$port" --documents "$docs" --csv "$work/list.csv" > "$work/scan.txt" 2> "$work/scan2.err"
same "scan prints one line per gateway with state and change" "$(printf '127.0.0.21\t0A.1B.2C\t1.4.12\tstored\tunchanged')" \
    "$(head -1 "$work/scan.txt")"
same "scan prints the counts" \
    "Adressen: gateway 4, other-key 1, other-type 1, incomplete 1, silent 0, closed 0, refused 248, timeout 0" \
    "$(tail -1 "$work/scan.txt")"
same "a second scan finds nothing changed" "Scan beendet: 7 Antworten; keine Änderung" "$(tail -1 "$work/scan2.err")"
python3 - "$work/list.csv" <<'PY'
import csv, io, sys
raw = open(sys.argv[1], "rb").read()
assert raw.startswith(b"\xef\xbb\xbf"), "UTF-8 byte-order mark"
assert b"\r\n" in raw and b"\n" not in raw.replace(b"\r\n", b""), "CRLF only"
rows = list(csv.reader(io.StringIO(raw[3:].decode("utf-8"), newline=""), delimiter=";"))
assert rows[0] == ["IP", "GWID", "Firmware", "Zustand", "Änderung", "Setup-Datei"], rows[0]
assert rows[1] == ["127.0.0.21", "0A.1B.2C", "1.4.12", "gespeichert", "unverändert", "SETUPGW_0A_1B_2C.GWINI"], rows[1]
assert rows[3] == ["127.0.0.23", "0A.1B.2E", "???", "anderer Master Key", "unverändert", ""], rows[3]
assert len(rows) == 8, len(rows)
PY
check "scan --csv writes the list as German spreadsheets open it" $?

setup="$setups/SETUPGW_0A_1B_2C.GWINI"
sed -i 's/^PORT=.*/PORT=5123\r/' "$setup"
"$telvaro" send 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/send.out" 2>&1
check "send acknowledged exits 0" $?
grep -q "Die Übertragung war erfolgreich!" "$work/send.out"; check "send prints the success message" $?
python3 - "$work/received.jsonl" <<'PY'
import json, sys
rows = [r for r in (json.loads(l) for l in open(sys.argv[1]) if l.strip()) if r.get("event") == "setup"]
rec = bytes.fromhex(rows[-1]["record"])
assert rows[-1]["wellFormed"] and rows[-1]["gwid"] == "0A.1B.2C"
assert rec[66] | rec[67] << 8 == 5123, "port from the file"
assert rec[0:3] == bytes([0xA1, 0xA2, 0xA3]), "reserved bytes as the gateway reported them"
PY
check "the gateway received the file's port and its own reserved bytes" $?
grep -q "PORT=5123" "$setup"; check "the read before a send leaves the setup file as it was" $?
same "send reports the read-back" "Kontrolle: Das Gateway 0A.1B.2C (127.0.0.21) meldet das gesendete Setup." \
    "$(tail -1 "$work/send.out")"

# What a send would change: nothing after the send above, the port after another edit.
"$telvaro" diff 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/diff0.out" 2>&1
same "diff without differences exits 0" 0 $?
same "diff without differences prints nothing" "" "$(cat "$work/diff0.out")"
sed -i 's/^PORT=.*/PORT=6000\r/' "$setup"
"$telvaro" diff 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/diff1.out" 2>&1
same "diff with a difference exits 1" 1 $?
same "diff names the field, the gateway's value and the file's" "[NETZWERK] PORT: 5123 -> 6000" "$(cat "$work/diff1.out")"
"$telvaro" diff 127.0.0.21 0A.1B.2C --json --port "$port" --documents "$docs" > "$work/diff.json" 2>&1
same "diff --json" '[{"file":"6000","gateway":"5123","key":"PORT","section":"NETZWERK"}]' \
    "$(python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), sort_keys=True, separators=(",",":")))' "$work/diff.json")"
"$telvaro" diff 127.0.0.23 0A.1B.2E --port "$port" --documents "$docs" > /dev/null 2>&1
same "diff with a gateway of another master key exits 2" 2 $?

# Acknowledged, but the read-back says otherwise: exit 3 and the fields named.
for g in 31 32; do sed -i 's/^PORT=.*/PORT=5123\r/' "$setups/SETUPGW_0A_1B_$g.GWINI"; done
"$telvaro" send 127.0.0.26 0A.1B.31 --port "$port" --documents "$docs" > "$work/keeps.out" 2>&1
same "send to a gateway that keeps its old setup exits 3" 3 $?
same "the read-back names the field" "[NETZWERK] PORT: gesendet 5123, gelesen 4711" "$(tail -1 "$work/keeps.out")"
"$telvaro" send 127.0.0.26 0A.1B.31 --no-verify --port "$port" --documents "$docs" > /dev/null 2>&1
same "send --no-verify ends with the acknowledgement" 0 $?
"$telvaro" send 127.0.0.27 0A.1B.32 --port "$port" --documents "$docs" > "$work/restart.out" 2>&1
same "send to a gateway that restarts longer than the window exits 3" 3 $?
same "no read-back within the window" \
    "Kontrolle: Das Gateway 0A.1B.32 (127.0.0.27) hat innerhalb von 1.5 s kein Setup gemeldet; ob es das Setup übernommen hat, ist nicht bestätigt." \
    "$(tail -1 "$work/restart.out")"

"$telvaro" send 127.0.0.22 0A.1B.2D --port "$port" --documents "$docs" > "$work/nak.out" 2>&1
[ $? = 1 ]; check "send with NAK exits 1" $?
grep -q "Die Übertragung war NICHT erfolgreich!" "$work/nak.out"; check "send with NAK prints the failure" $?

# Refusals: nothing reaches the gateway, exit 2, and the reason in German.
cp "$setup" "$setups/SETUPGW_0A_1B_2E.GWINI"
cp "$setup" "$setups/SETUPGW_0A_1B_2F.GWINI"
cp "$setup" "$setups/SETUPGW_0A_1B_30.GWINI"
cp "$setup" "$setups/SETUPGW_0A_1B_99.GWINI"
refused() { # name, ip, gwid, expected message line
    local before out rc
    before=$(received)
    out=$("$telvaro" send "$2" "$3" --port "$port" --documents "$docs" 2>&1)
    rc=$?
    same "send refused ($1) exits 2" 2 "$rc"
    same "send refused ($1) says why" "$4" "$(echo "$out" | tail -1)"
    same "send refused ($1) sends nothing" "$before" "$(received)"
}
refused "another master key" 127.0.0.23 0A.1B.2E \
    "Das Gateway 0A.1B.2E an 127.0.0.23 verwendet einen anderen Master Key. Es wurde nichts gesendet."
refused "another telegram type" 127.0.0.24 0A.1B.2F \
    "Das Gateway 0A.1B.2F an 127.0.0.24 hat kein Setup gemeldet (Telegrammtyp 21). Es wurde nichts gesendet."
refused "answer cut off" 127.0.0.25 0A.1B.30 \
    "Die Antwort des Gateways 0A.1B.30 an 127.0.0.25 war unvollständig. Es wurde nichts gesendet."
refused "another gateway at the address" 127.0.0.21 0A.1B.99 \
    "An der Adresse 127.0.0.21 meldet sich das Gateway 0A.1B.2C statt 0A.1B.99. Es wurde nichts gesendet."
refused "no gateway at the address" 127.0.0.30 0A.1B.2C \
    "Von 127.0.0.30 kam kein Setup (keine gültige Antwort). Es wurde nichts gesendet."

"$telvaro" send 127.0.0.21 0A.1B.98 --port "$port" --documents "$docs" > "$work/missing.out" 2>&1
[ $? = 2 ]; check "send without a setup file exits 2" $?
grep -q "Kein Setup für diese GWID vorhanden!" "$work/missing.out"; check "missing setup message" $?

sed -i 's/^FEST_IP=.*/FEST_IP=1.2.x.4\r/' "$setup"
"$telvaro" send 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > "$work/bad.out" 2>&1
[ $? = 2 ]; check "send of a file that cannot be converted exits 2" $?
grep -q "FEST_IP" "$work/bad.out"; check "conversion message names the key" $?

# Other programs' files in the shared folder: a link, a FIFO and a UTF-16 file in place of setup files.
# Windows has no FIFOs, and Wine shows a link to a file as the file: there the UTF-16 file alone
# (links and junctions on Windows: tests/windows).
windows=${TELVARO_TEST_ON_WINDOWS:-}
cp "$setups/SETUPGW_0A_1B_2C.GWINI" "$work/plain.GWINI"
rm -f "$setups/SETUPGW_0A_1B_2D.GWINI" "$setups/SETUPGW_0A_1B_31.GWINI" "$setup"
echo "fremd" > "$work/target.txt"
if [ -z "$windows" ]; then
    mkfifo "$setups/SETUPGW_0A_1B_2D.GWINI"
    ln -s "$work/target.txt" "$setups/SETUPGW_0A_1B_31.GWINI"
fi
python3 - "$setup" <<'PY'
import sys
text = "[ANDERES]\r\nSCHLÜSSEL=Wert\r\n[NETZWERK]\r\nPORT=4711\r\nKUNDE=Müller\r\n"
open(sys.argv[1], "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
timeout 60 "$telvaro" scan 127.0.0 --port "$port" --documents "$docs" > "$work/odd.txt" 2> "$work/odd.err"
rc=$?
if [ -z "$windows" ]; then
    same "a scan with a FIFO and a link in the folder finishes, exit 3" 3 $rc
    grep -q "^Setup von 0A.1B.2D (127.0.0.22) nicht gespeichert: Die Datei .*SETUPGW_0A_1B_2D.GWINI konnte nicht .* werden: sie ist keine gewöhnliche Datei, sondern eine Pipe (FIFO)" "$work/odd.err"
    check "the FIFO is named and refused" $?
    grep -q "^Setup von 0A.1B.31 (127.0.0.26) nicht gespeichert: .*symbolische Verknüpfung" "$work/odd.err"
    check "the link is named and refused" $?
    same "the link's target is untouched" "fremd" "$(cat "$work/target.txt")"
    [ -L "$setups/SETUPGW_0A_1B_31.GWINI" ] && [ -p "$setups/SETUPGW_0A_1B_2D.GWINI" ]; check "link and FIFO stay what they were" $?
else
    same "a scan with a UTF-16 setup file finishes, exit 0" 0 $rc
fi
same "the UTF-16 file keeps its byte-order mark" "fffe" "$(od -An -tx1 -N2 "$setup" | tr -d " \n")"
python3 - "$setup" <<'PY'
import sys
text = open(sys.argv[1], "rb").read()[2:].decode("utf-16-le")
assert "[ANDERES]\r\nSCHLÜSSEL=Wert\r\n" in text and "KUNDE=Müller\r\n" in text, text
assert "SRV_DNS=collector.mbus.lan\r\n" in text, text
PY
check "the UTF-16 file keeps the other program's keys and gains the setup" $?
if [ -z "$windows" ]; then
    timeout 60 "$telvaro" send 127.0.0.22 0A.1B.2D --port "$port" --documents "$docs" > "$work/fifo.out" 2>&1
    same "send of a FIFO in place of the setup file finishes with exit 2" 2 $?
fi
timeout 60 "$telvaro" send 127.0.0.21 0A.1B.2C --no-verify --port "$port" --documents "$docs" > "$work/utf16.out" 2>&1
same "send from a UTF-16 setup file is acknowledged" 0 $?
same "the UTF-16 file is still UTF-16 after the send" "fffe" "$(od -An -tx1 -N2 "$setup" | tr -d " \n")"
rm -f "$setups/SETUPGW_0A_1B_2D.GWINI" "$setups/SETUPGW_0A_1B_31.GWINI"
cp "$work/plain.GWINI" "$setup"

# A setup that cannot be stored: the row stays, the reason goes to stderr, exit 3.
rm -f "$setup" && mkdir "$setup"
"$telvaro" scan 127.0.0 --port "$port" --documents "$docs" > "$work/unstored.txt" 2> "$work/unstored.err"
same "scan with a setup it cannot store exits 3" 3 $?
same "the reason names the gateway and the file" \
    "Setup von 0A.1B.2C (127.0.0.21) nicht gespeichert: Die Datei $setup konnte nicht gelesen werden: an ihrer Stelle liegt ein Ordner" \
    "$(grep "^Setup von" "$work/unstored.err")"
same "the row says its setup was not stored" "$(printf '127.0.0.21\t0A.1B.2C\t1.4.12 (nicht gespeichert)\tnot-stored')" \
    "$(head -1 "$work/unstored.txt" | cut -f1-4)"

# A template for several gateways at once.
template="$work/template.GWINI"
printf '[NETZWERK]\r\nSRV_DNS=flotte.example.net\r\nPORT=5000\r\nFEST_IP=010.000.000.001\r\nGW_IP=010.000.000.254\r\nSUB_IP=255.000.000.000\r\nDNS_IP=010.000.000.053\r\nNTP_IP=010.000.000.123\r\n' > "$template"
rm -rf "$setup"
before=$(received)
"$telvaro" apply "$template" 127.0.0 --only 0A.1B.2C,0A.1B.2E --fields NETZWERK/SRV_DNS,NETZWERK/PORT --dry-run --port "$port" --documents "$docs" > "$work/dry.txt" 2>/dev/null
same "apply --dry-run exits 0" 0 $?
same "a dry run sends nothing" "$before" "$(received)"
same "a dry run names the fields that would change" \
    "$(printf '127.0.0.21\t0A.1B.2C\tNETZWERK/SRV_DNS,NETZWERK/PORT\tdry-run')" "$(head -1 "$work/dry.txt")"
same "a gateway of another master key is skipped" "$(printf '127.0.0.23\t0A.1B.2E\t-\tskipped\tanderer Master Key')" \
    "$(tail -1 "$work/dry.txt")"
"$telvaro" apply "$template" 127.0.0 --only 0A.1B.2C,0A.1B.2E,0A.1B.31 --json --port "$port" --documents "$docs" \
    > "$work/apply.json" 2>/dev/null
same "apply exits 1 unless every gateway is verified or unchanged" 1 $?
same "apply reports each gateway's result" "verified skipped differs" \
    "$(python3 -c 'import json,sys; print(" ".join(r["result"] for r in json.load(open(sys.argv[1]))))' "$work/apply.json")"
same "apply keeps the gateway's identity" "[]" \
    "$(python3 -c 'import json,sys; print([c for r in json.load(open(sys.argv[1])) for c in r["changed"] if "FEST_IP" in c or "MASTERKEY" in c])' "$work/apply.json")"
"$telvaro" apply "$work/missing.GWINI" 127.0.0 --port "$port" --documents "$docs" > /dev/null 2>&1
same "apply with a template that does not exist exits 2" 2 $?
"$telvaro" apply "$template" 127.0.0 --fields NETZWERK/NIX --port "$port" --documents "$docs" > "$work/fields.out" 2>&1
same "apply with an unknown field exits 2" 2 $?
same "apply names the unknown field" \
    'Unbekanntes Feld: "NETZWERK/NIX" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei, z.B. NETZWERK/PORT)' \
    "$(head -1 "$work/fields.out")"

# Usage errors: exit 2, a German message, never a window.
usage() { # name, expected first line, arguments...
    local name=$1 message=$2 out rc
    shift 2
    out=$(QT_QPA_PLATFORM= DISPLAY= timeout 10 "$telvaro" "$@" 2>&1)
    rc=$?
    same "usage error ($name) exits 2" 2 "$rc"
    same "usage error ($name) says why" "$message" "$(echo "$out" | head -1)"
}
usage "unknown command" 'Unbekannter Befehl: "sacn"' sacn 127.0.0
usage "extra argument" "Der Befehl scan erwartet 1 Argumente, nicht 2: 127.0.0 x" scan 127.0.0 x
usage "missing option value" "Wert fehlt nach --port" scan 127.0.0 --port
usage "unknown option" "Unbekannte Option: --frobnicate" scan 127.0.0 --frobnicate
usage "port out of range" 'Ungültiger Wert für --port: "0" (1 bis 65535)' scan 127.0.0 --port 0
usage "empty documents folder" "--documents braucht einen Ordner" scan 127.0.0 --documents ""
usage "option of another command" "Die Option --json gilt nicht für send" send 127.0.0.21 0A.1B.2C --json
usage "command option without a command" "Die Option --json gilt nur für einen Befehl" --json

"$telvaro" --help | grep -q "telvaro scan A.B.C"; check "--help documents the commands" $?
"$telvaro" --version | grep -q "Telvaro V1.5.3"; check "--version" $?

echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
