#!/usr/bin/env bash
# The command line against the simulator on 127.0.0.x: scan with its rows, files and exit codes,
# send with its refusals and outcomes, and usage errors that never open a window.
set -u
telvaro=$1
gwsim=$2
work=$(mktemp -d)
# Debian's interpreter itself: a version manager's shim found first in PATH costs most of a second
# per start, and the checks below start it a dozen times.
[ -x /usr/bin/python3 ] && python3() { /usr/bin/python3 "$@"; }
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
fails=0
passes=0
check() { # name, condition result
    if [ "$2" = 0 ]; then passes=$((passes + 1)); echo "PASS: $1"; else fails=$((fails + 1)); echo "FAIL: $1"; fi
}
same() { # name, expected, actual (a Windows console ends its lines with CR LF)
    set -- "$1" "${2//$'\r'/}" "${3//$'\r'/}"
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
mkdir -p "$docs/MERVANE" && printf '[TCP]\r\nVERIFYTIMEOUT=600\r\n' > "$docs/MERVANE/telvaro.INI"
received() { grep -c '"event":"setup"' "$work/received.jsonl" 2>/dev/null || echo 0; }

# The counts name every address refused: under Wine 255 connections at once may take longer than
# the default second to be refused, and would count as time-outs.
wait_refusals=()
[ -n "${TELVARO_TEST_ON_WINDOWS:-}" ] && wait_refusals=(--connect-timeout 10000)
"$telvaro" scan 127.0.0 --port "$port" --json --documents "$docs" "${wait_refusals[@]}" > "$work/scan.json" 2> "$work/scan.err"
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

"$telvaro" scan 127.0.0 --port "$port" --documents "$docs" --csv "$work/list.csv" "${wait_refusals[@]}" \
    > "$work/scan.txt" 2> "$work/scan2.err"
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
same "diff names the field with the dialog's label, the gateway's value and the file's" "Server Port: 5123 → 6000" \
    "$(cat "$work/diff1.out")"
"$telvaro" diff 127.0.0.21 0A.1B.2C --json --port "$port" --documents "$docs" > "$work/diff.json" 2>&1
same "diff --json keeps SECTION/KEY and gives from and to" \
    '[{"file":"6000","from":"5123","gateway":"5123","key":"PORT","section":"NETZWERK","to":"6000"}]' \
    "$(python3 -c 'import json,sys; print(json.dumps(json.load(open(sys.argv[1])), sort_keys=True, separators=(",",":")))' "$work/diff.json")"
"$telvaro" diff 127.0.0.23 0A.1B.2E --port "$port" --documents "$docs" > /dev/null 2>&1
same "diff with a gateway of another master key exits 2" 2 $?

# Acknowledged, but the read-back says otherwise: exit 3 and the fields named.
for g in 31 32; do sed -i 's/^PORT=.*/PORT=5123\r/' "$setups/SETUPGW_0A_1B_$g.GWINI"; done
"$telvaro" send 127.0.0.26 0A.1B.31 --port "$port" --documents "$docs" > "$work/keeps.out" 2> "$work/keeps.err"
same "send to a gateway that keeps its old setup exits 3" 3 $?
# One truth on stdout: the acknowledgement and what the check found, together.
same "stdout holds the transfer message and the read-back" \
    "Die Übertragung war erfolgreich!|Kontrolle: Das Gateway 0A.1B.31 (127.0.0.26) meldet ein anderes Setup als gesendet:|Server Port: gesendet 5123, gelesen 4711" \
    "$(paste -sd '|' "$work/keeps.out")"
"$telvaro" send 127.0.0.26 0A.1B.31 --no-verify --port "$port" --documents "$docs" > "$work/noverify.out" 2> /dev/null
same "send --no-verify ends with the acknowledgement" 0 $?
same "send --no-verify says there was no check" "Die Übertragung war erfolgreich!|ohne Kontrolle" \
    "$(paste -sd '|' "$work/noverify.out")"
"$telvaro" send 127.0.0.27 0A.1B.32 --port "$port" --documents "$docs" > "$work/restart.out" 2>&1
same "send to a gateway that restarts longer than the window exits 3" 3 $?
same "no read-back within the window" \
    "Kontrolle: Das Gateway 0A.1B.32 (127.0.0.27) hat innerhalb von 0.6 s kein Setup gemeldet; ob es das Setup übernommen hat, ist nicht bestätigt." \
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
shown=$setup
[ -n "$windows" ] && shown=${setup//\//\\} # Windows names files with backslashes
same "the reason names the gateway and the file" \
    "Setup von 0A.1B.2C (127.0.0.21) nicht gespeichert: Die Datei $shown konnte nicht gelesen werden: an ihrer Stelle liegt ein Ordner" \
    "$(grep "^Setup von" "$work/unstored.err")"
same "the row says its setup was not stored" "$(printf '127.0.0.21\t0A.1B.2C\t1.4.12 (nicht gespeichert)\tnot-stored')" \
    "$(head -1 "$work/unstored.txt" | cut -f1-4)"

# A template for several gateways at once.
template="$work/template.GWINI"
printf '[NETZWERK]\r\nSRV_DNS=flotte.example.net\r\nPORT=5000\r\nSOFORT=0\r\nPROH=1\r\nPROTAG=0\r\nPROMONAT=0\r\nFEST_IP=010.000.000.001\r\nGW_IP=010.000.000.254\r\nSUB_IP=255.000.000.000\r\nDNS_IP=010.000.000.053\r\nNTP_IP=010.000.000.123\r\n[WM-BUS]\r\nMODET=1\r\n' > "$template"
rm -rf "$setup"
before=$(received)
history_before=$(cat "$docs/MERVANE/Telvaro-Scans.jsonl" | md5sum)
"$telvaro" apply "$template" 127.0.0 --only 0A.1B.2C,0A.1B.2E --fields NETZWERK/SRV_DNS,NETZWERK/PORT --dry-run --port "$port" --documents "$docs" > "$work/dry.txt" 2>/dev/null
same "apply --dry-run exits 0" 0 $?
same "a dry run sends nothing" "$before" "$(received)"
[ ! -e "$setup" ]; check "a dry run writes no setup file" $?
same "a dry run records no scan" "$history_before" "$(cat "$docs/MERVANE/Telvaro-Scans.jsonl" | md5sum)"
same "a dry run names each change with the dialog's label, old and new value" \
    "$(printf '127.0.0.21\t0A.1B.2C\tdry-run|  Änderung: Server (DNS Name oder IP Adresse): collector.mbus.lan → flotte.example.net|  Änderung: Server Port: 5123 → 5000')" \
    "$(head -3 "$work/dry.txt" | paste -sd '|')"
same "a gateway of another master key is skipped" "$(printf '127.0.0.23\t0A.1B.2E\tskipped|  Grund: anderer Master Key')" \
    "$(tail -2 "$work/dry.txt" | paste -sd '|')"
"$telvaro" apply "$template" 127.0.0 --only 0A.1B.2C,0A.1B.2E,0A.1B.31 --json --port "$port" --documents "$docs" \
    > "$work/apply.json" 2>/dev/null
same "apply exits 1 unless every gateway is verified or unchanged" 1 $?
same "apply reports each gateway's result" "verified skipped differs" \
    "$(python3 -c 'import json,sys; print(" ".join(r["result"] for r in json.load(open(sys.argv[1]))))' "$work/apply.json")"
same "apply keeps the gateway's identity, filters and radio IDs" "[]" \
    "$(python3 -c 'import json,sys; print([c for r in json.load(open(sys.argv[1])) for c in r["changed"] if c["key"] in ("FEST_IP", "MASTERKEY", "FILTER_HS0") or c["section"] == "WM-BUS_IDS"])' "$work/apply.json")"
same "apply --json gives each change by SECTION/KEY with from and to" '{"from":"5123","key":"PORT","section":"NETZWERK","to":"5000"}' \
    "$(python3 -c 'import json,sys; print(json.dumps([c for c in json.load(open(sys.argv[1]))[0]["changed"] if c["key"] == "PORT"][0], sort_keys=True, separators=(",",":")))' "$work/apply.json")"
"$telvaro" apply "$work/missing.GWINI" 127.0.0 --port "$port" --documents "$docs" > /dev/null 2>&1
same "apply with a template that does not exist exits 2" 2 $?
"$telvaro" apply "$template" 127.0.0 --fields NETZWERK/NIX --port "$port" --documents "$docs" > "$work/fields.out" 2>&1
same "apply with an unknown field exits 2" 2 $?
same "apply names the unknown field" \
    'Unbekanntes Feld: "NETZWERK/NIX" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei wie NETZWERK/PORT oder eine Gruppe: Server, Intervall, Funkmodus, Hersteller-Filter, Mediumcode-Filter, Funk-ID-Liste)' \
    "$(head -1 "$work/fields.out")"

# A template without the keys of the chosen fields is refused before anything is sent.
printf '[NETZWERK]\r\nSRV_DNS=nur.example.net\r\nPORT=5001\r\n' > "$work/partial.GWINI"
before=$(received)
"$telvaro" apply "$work/partial.GWINI" 127.0.0 --port "$port" --documents "$docs" > /dev/null 2> "$work/partial.err"
same "a template lacking keys of the default fields exits 2" 2 $?
grep -q "fehlen Schlüssel der gewählten Felder: NETZWERK/SOFORT, NETZWERK/PROH, NETZWERK/PROTAG, NETZWERK/PROMONAT, WM-BUS/MODET" "$work/partial.err"
check "the refusal names the missing keys" $?
"$telvaro" apply "$work/partial.GWINI" 127.0.0 --fields Server --only 0A.1B.2C --dry-run --port "$port" --documents "$docs" > "$work/partial.txt" 2> /dev/null
same "a template holding only what --fields names is fine" 0 $?
same "nothing was sent for either" "$before" "$(received)"

# With the read-back off, acknowledged is the best result for apply as for send.
printf '[NETZWERK]\r\nPORT=5002\r\n' > "$work/port.GWINI"
"$telvaro" apply "$work/port.GWINI" 127.0.0 --fields NETZWERK/PORT --only 0A.1B.2C --no-verify --port "$port" --documents "$docs" > "$work/nv.txt" 2> /dev/null
same "apply --no-verify exits 0 when acknowledged" 0 $?
same "apply --no-verify says there was no check" "$(printf '127.0.0.21\t0A.1B.2C\tacknowledged')|  Grund: ohne Kontrolle" \
    "$(grep -v Änderung "$work/nv.txt" | paste -sd '|')"

# Nothing to apply to: the scan's explanation on stderr, exit 1.
"$telvaro" apply "$template" 127.0.0 --only 0A.1B.99 --port "$port" --documents "$docs" > /dev/null 2> "$work/notfound.err"
same "apply with --only IDs not found exits 1" 1 $?
grep -q "^Nicht gefunden: 0A.1B.99" "$work/notfound.err"; check "apply names the IDs not found" $?
"$telvaro" apply "$template" 127.0.1 --port "$port" --documents "$docs" > /dev/null 2> "$work/none.err"
same "apply where no gateway answers exits 1" 1 $?
grep -q "^Keine Antwort an Port $port" "$work/none.err"; check "apply where no gateway answers says why" $?

# A fixed address a gateway cannot live at is never sent.
setup2c="$setups/SETUPGW_0A_1B_2C.GWINI"
sed -i -e 's/^DHCP=.*/DHCP=0\r/' -e 's/^FEST_IP=.*/FEST_IP=127.000.000.255\r/' -e 's/^SUB_IP=.*/SUB_IP=255.255.255.000\r/' "$setup2c"
before=$(received)
"$telvaro" send 127.0.0.21 0A.1B.2C --port "$port" --documents "$docs" > /dev/null 2> "$work/bcast.err"
same "send of a fixed broadcast address exits 2" 2 $?
same "send of a fixed broadcast address says why" "Die feste IP-Adresse 127.0.0.255 ist die Broadcast-Adresse ihres Netzes (Subnetzmaske 255.255.255.0); ein Gateway kann sie nicht haben. Es wurde nichts gesendet." \
    "$(tail -1 "$work/bcast.err")"
same "send of a fixed broadcast address sends nothing" "$before" "$(received)"

# Output that cannot be written is a failure, never success.
"$telvaro" scan 127.0.0 --port "$port" --documents "$docs" > /dev/full 2> "$work/full.err"
same "scan to a full disk exits 2" 2 $?
grep -q "^Die Ausgabe konnte nicht geschrieben werden" "$work/full.err"; check "scan to a full disk says so" $?
python3 - "$telvaro" "$port" "$docs" <<'PY'
import os, subprocess, sys
r, w = os.pipe()
os.close(r)  # nobody reads: every write to stdout fails
p = subprocess.run([sys.argv[1], "scan", "127.0.0", "--port", sys.argv[2], "--documents", sys.argv[3]],
                   stdout=w, stderr=subprocess.PIPE)
assert p.returncode == 2, p.returncode
assert "Die Ausgabe konnte nicht geschrieben werden" in p.stderr.decode(), p.stderr
PY
check "scan into a closed pipe exits 2 and says so" $?
for target in "$docs/MERVANE/Telvaro-Scans.jsonl" "$setup2c" "$docs/MERVANE/liste.csv"; do
    sum=$(cat "$target" 2> /dev/null | md5sum)
    "$telvaro" scan 127.0.0 --csv "$target" --port "$port" --documents "$docs" > /dev/null 2> "$work/csv.err"
    same "--csv into the tool's folder exits 2 (${target##*/})" 2 $?
    same "--csv leaves the target untouched (${target##*/})" "$sum" "$(cat "$target" 2> /dev/null | md5sum)"
done

# One ID, two gateways: stored for neither, named on stderr, never sent to.
"$gwsim" --port 0 --log "$work/twins.jsonl" --gateway 127.0.0.41=0A1B77 --gateway 127.0.0.42=0A1B77 > "$work/twins.out" 2>&1 &
twinsim=$!
for _ in $(seq 50); do grep -q "listening on port" "$work/twins.out" 2>/dev/null && break; sleep 0.1; done
tport=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/twins.out" | head -1)
"$telvaro" scan 127.0.0 --port "$tport" --documents "$docs" > "$work/twins.txt" 2> "$work/twins.err"
same "a scan with one ID at two addresses exits 3" 3 $?
grep -q "^Die GWID 0A.1B.77 meldet sich im selben Scan an mehreren Adressen (127.0.0.41, 127.0.0.42)" "$work/twins.err"
check "the scan names both addresses" $?
same "both rows are marked" "duplicate-id duplicate-id" "$(cut -f4 "$work/twins.txt" | grep duplicate | paste -sd ' ')"
[ ! -e "$setups/SETUPGW_0A_1B_77.GWINI" ]; check "neither setup is stored" $?
cp "$work/plain.GWINI" "$setups/SETUPGW_0A_1B_77.GWINI"
"$telvaro" send 127.0.0.41 0A.1B.77 --port "$tport" --documents "$docs" > /dev/null 2> "$work/twinsend.err"
same "send to either twin exits 2" 2 $?
same "send to a twin sends nothing" 0 "$(grep -c '"event":"setup"' "$work/twins.jsonl")"
kill $twinsim 2>/dev/null

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
usage "unknown command asked for help" 'Unbekannter Befehl: "sacn"' sacn --help
usage "extra argument" "Der Befehl scan erwartet 1 Argumente (A.B.C), nicht 2: 127.0.0 x" scan 127.0.0 x
usage "missing option value" "Nach '--port' fehlt der Wert." scan 127.0.0 --port
usage "unknown option" "Unbekannte Option 'frobnicate'." scan 127.0.0 --frobnicate
usage "port out of range" 'Ungültiger Wert für --port: "0" (1 bis 65535)' scan 127.0.0 --port 0
usage "port with a sign" 'Ungültiger Wert für --port: "+30" (1 bis 65535)' scan 127.0.0 --port +30
usage "option of another command" "Unbekannte Option 'json'." send 127.0.0.21 0A.1B.2C --json
usage "command option without a command" "Unbekannte Option 'json'." --json
for option in documents only fields csv key; do
    command=scan
    case $option in only | fields) command="apply $template" ;; esac
    # shellcheck disable=SC2086
    usage "empty --$option" "Die Option --$option braucht einen Wert, nicht einen leeren Text" $command 127.0.0 "--$option" ""
    # shellcheck disable=SC2086
    usage "blank --$option" "Die Option --$option braucht einen Wert, nicht einen leeren Text" $command 127.0.0 "--$option" "  "
done
bad_address() { echo "Ungültige Adresse: \"$1\" (vier Dezimalzahlen 0 bis 255 mit Punkten, die letzte 1 bis 254, z.B. 192.168.1.20)"; }
usage "one number as address" "$(bad_address 2130706443)" send 2130706443 0A.1B.2C
usage "send to a segment's .255" "$(bad_address 127.0.0.255)" send 127.0.0.255 0A.1B.2C
usage "diff of a segment's .0" "$(bad_address 127.0.0.0)" diff 127.0.0.0 0A.1B.2C
usage "hex address part" "$(bad_address 127.0.0.0x15)" diff 127.0.0.0x15 0A.1B.2C
out=$("$telvaro" diff 127.0.0.010 0A.1B.2C --port "$port" --documents "$docs" 2>&1)
same "leading zeros are decimal: 127.0.0.010 is .10, never octal .8" \
    "Von 127.0.0.10 kam kein Setup (keine gültige Antwort). Es wurde nichts gesendet." "$(echo "$out" | tail -1)"
"$telvaro" scan --help | grep -q -- "--csv <DATEI>"; check "a command's help lists its options" $?

"$telvaro" --help | grep -q "telvaro scan A.B.C"; check "--help documents the commands" $?
"$telvaro" --version | grep -q "Telvaro V1.5.3"; check "--version" $?

echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
