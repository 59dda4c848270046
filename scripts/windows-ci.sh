#!/usr/bin/env bash
# CI for the Windows variant: make windows and make test-windows, then the installer installed
# silently into a fresh Wine prefix, the installed program run (--version; a scan of 127.0.0
# against the simulator without --documents, whose setup files must land in the Wine user's Public
# Documents as Windows-1252 with CRLF), and a silent uninstall that leaves those files alone.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${WIN_BUILD:-build-win}"
started=$(date +%s)
make windows
make test-windows
version="$(sed -n 's/^project(Telvaro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
setup="$(pwd)/$build/telvaro-$version-setup.exe"

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEQT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "windows-ci: $*" >&2; exit 1; }

wineboot -i
wine "$setup" /S || fail "silent install failed"
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Telvaro"
for f in bin/telvaro.exe bin/telvaro.com bin/Qt6Core.dll bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll \
         bin/libwinpthread-1.dll plugins/platforms/qwindows.dll uninstall.exe; do
    [ -f "$installed/$f" ] || fail "not installed: $f"
done
find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Telvaro.lnk' | grep -q . || fail "no Start-menu entry"

program='C:\Program Files\Telvaro\bin\telvaro.com'
[ "$(wine "$program" --version | tr -d '\r')" = "Telvaro V$version" ] || fail "--version"
[ "$(wine 'C:\Program Files\Telvaro\bin\telvaro.exe' --version | tr -d '\r')" = "Telvaro V$version" ] ||
    fail "--version of the window program"

# The simulator of this build, under Wine like the program.
"$build/wine-run.sh" "$build/tools/gwsim/telvaro-gwsim.exe" --port 0 \
    --gateway 127.0.0.21=0A1B2C --gateway 127.0.0.22=0A1B2D > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 300); do grep -q "listening on port" "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$work/sim.out" | head -1)
[ -n "$port" ] || { cat "$work/sim.out"; fail "simulator did not start"; }

wine "$program" scan 127.0.0 --port "$port" > "$work/scan.txt" 2> "$work/scan.err" ||
    { cat "$work/scan.txt" "$work/scan.err"; fail "scan failed"; }
grep -q $'^127.0.0.21\t0A.1B.2C' "$work/scan.txt" || { cat "$work/scan.txt"; fail "scan did not list 127.0.0.21"; }
grep -q $'^127.0.0.22\t0A.1B.2D' "$work/scan.txt" || { cat "$work/scan.txt"; fail "scan did not list 127.0.0.22"; }
setups="$WINEPREFIX/drive_c/users/Public/Documents/MERVANE/W_MBUS_SRV_GWSETUPS"
for gw in 0A_1B_2C 0A_1B_2D; do
    file="$setups/SETUPGW_$gw.GWINI"
    [ -f "$file" ] || fail "no setup file $file"
    # CRLF line ends only, and text that Windows-1252 reads (no UTF-8 byte-order mark).
    [ "$(tr -cd '\n' < "$file" | wc -c)" = "$(tr -cd '\r' < "$file" | wc -c)" ] || fail "$file: not CRLF"
    [ "$(head -c 3 "$file" | od -An -tx1 | tr -d ' ')" != "efbbbf" ] || fail "$file: UTF-8 byte-order mark"
    iconv -f WINDOWS-1252 -t UTF-8 "$file" > /dev/null || fail "$file: not Windows-1252"
    grep -q $'^\\[' "$file" || fail "$file: no INI section"
done

wine "$WINEPREFIX/drive_c/Program Files/Telvaro/uninstall.exe" /S || fail "silent uninstall failed"
wineserver -w
[ ! -e "$installed/bin/telvaro.exe" ] || fail "uninstall left the program"
[ -f "$setups/SETUPGW_0A_1B_2C.GWINI" ] || fail "uninstall removed the user's setup files"
echo "windows-ci: passed in $(( $(date +%s) - started )) s; installer $(du -k "$setup" | cut -f1) KiB"
