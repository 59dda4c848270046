#!/usr/bin/env bash
# make test-windows: every test of the Windows build under Wine (ctest with wine-run.sh as the
# emulator, offscreen), in a Wine prefix of the build folder. Results and exit codes as on Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${WIN_BUILD:-build-win}"
jobs="${JOBS:-$(nproc)}"
[ -x "$build/wine-run.sh" ] || { echo "no Windows build in $build (make windows)" >&2; exit 1; }

export WINEPREFIX
WINEPREFIX="$(cd "$build" && pwd)/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i
    # A crashing test ends with its exit code; no debugger waits for a key.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null
fi
wineserver -p 60 # one Wine server for all tests, kept a minute after the last
status=0
(cd "$build" && ctest --output-on-failure -j "$jobs" "$@") || status=$?
wineserver -k || true
exit "$status"
