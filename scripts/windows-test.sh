#!/usr/bin/env bash
# make test-windows: every test of the Windows build under Wine (ctest with wine-run.sh as the
# emulator, offscreen), in a Wine prefix of the build folder. Results and exit codes as on Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${WIN_BUILD:-build-win}"
# One test at a time: two test programs that each scan 127.0.0.x against their own simulator
# under one Wine server stall each other (seen: both waiting, without CPU, until the time-out).
jobs="${WIN_TEST_JOBS:-1}"
[ -x "$build/wine-run.sh" ] || { echo "no Windows build in $build (make windows)" >&2; exit 1; }

export WINEPREFIX
WINEPREFIX="$(cd "$build" && pwd)/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # A 64-bit-only Wine complains about its 32-bit half and may end non-zero on the first start;
    # the prefix is made all the same (its registry is written once the server ends).
    wineboot -i || true
    wineserver -w
    # A crashing test ends with its exit code; no debugger waits for a key.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null
fi
# One Wine server for all tests, and Wine's own services started now with their output elsewhere:
# started by a test, they would hold its output pipe open, and ctest would wait for them.
wineserver -k 2>/dev/null || true
timeout 60 wineserver -p || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
(cd "$build" && ctest --output-on-failure -j "$jobs" "$@") || status=$?
wineserver -k || true
exit "$status"
