#!/usr/bin/env bash
# Builds the Debian package and checks it as an installer would meet it: lintian (errors fail),
# the AppStream metainfo and the desktop entry validated, every option of the --help texts in the
# man pages, and the unpacked programs run: telvaro --version, and a scan of 127.0.0 against the
# packaged simulator on a free port.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
make --no-print-directory package

version=$(sed -n 's/^project(Telvaro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="build-pkg/telvaro_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "package-check: $deb missing"; exit 1; }
work=$(mktemp -d /tmp/telvaro-package-check.XXXXXX)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
check() { # name, command...
    local name=$1
    shift
    if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failed=1; fi
}

echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb" | awk '{print $1, $6}'

echo "== lintian"
# Info tags are shown too; only errors fail the check.
check "lintian reports no errors" lintian --info --display-level '>=pedantic' --fail-on error "$deb"

dpkg-deb -x "$deb" "$work/unpacked"
usr="$work/unpacked/usr"
echo "== metainfo and desktop entry"
check "appstreamcli validate" appstreamcli validate --no-net --explain "$usr"/share/metainfo/*.metainfo.xml
check "desktop-file-validate" desktop-file-validate "$usr"/share/applications/*.desktop
check "icon named in the desktop entry is packaged" test -f \
    "$usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$usr"/share/applications/*.desktop).svg"

echo "== man pages"
for program in telvaro telvaro-gwsim; do
    page=$(zcat "$usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
    missing=""
    for option in $("$usr/bin/$program" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
        grep -q -F -- "$option" <<< "$page" || missing+=" $option"
    done
    check "man page of $program names every option of --help${missing:+ (missing:$missing)}" test -z "$missing"
done

echo "== packaged programs"
shown=$("$usr/bin/telvaro" --version) || true
echo "$shown"
# Without a command, telvaro hands over to the window program in libexec: it runs until stopped.
# Started as a desktop entry starts it, found through PATH from another folder.
status=0
(cd "$work" && PATH="$usr/bin:$PATH" QT_QPA_PLATFORM=offscreen timeout 5 telvaro --documents "$work/window-docs") \
    > /dev/null 2>&1 || status=$?
check "telvaro without a command starts the packaged window program" test "$status" = 124
check "telvaro --version shows $version" test "$shown" = "Telvaro V$version"

"$usr/bin/telvaro-gwsim" --port 0 --gateways 127.0.0.21-25 --log "$work/received.jsonl" > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q "listening on port" "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
if [ -z "$port" ]; then
    cat "$work/sim.out"
    echo "FAIL: packaged telvaro-gwsim did not start"
    exit 1
fi
echo "telvaro-gwsim listening on 127.0.0.21-25, port $port"
status=0
"$usr/bin/telvaro" scan 127.0.0 --port "$port" --documents "$work/docs" > "$work/scan.out" 2> "$work/scan.err" || status=$?
cat "$work/scan.out"
tail -1 "$work/scan.err"
check "telvaro scan exits 0" test "$status" = 0
expected=$(for host in 21 22 23 24 25; do printf '127.0.0.%d\tB0.00.%02X\n' "$host" "$host"; done)
check "telvaro scan lists the five simulated gateways in address order" test "$(head -5 "$work/scan.out" | cut -f1,2)" = "$expected"
stored=$(ls "$work/docs/MERVANE/W_MBUS_SRV_GWSETUPS/" 2> /dev/null | wc -l)
check "telvaro scan stored five setup files" test "$stored" = 5

[ "$failed" = 0 ] && echo "package-check: all passed" || echo "package-check: FAILED"
exit "$failed"
