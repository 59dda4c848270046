#!/usr/bin/env bash
# make windows: the Windows build on this Linux machine. Installs the packages, builds Qt for
# Windows once into the cache (scripts/windows-qt.sh), then builds telvaro.exe, telvaro.com,
# telvaro-gwsim.exe and every test into build-win/ and the installer
# build-win/telvaro-<version>-setup.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${WIN_BUILD:-build-win}"
jobs="${JOBS:-$(nproc)}"

bash scripts/windows-deps.sh
qt="$(bash scripts/windows-qt.sh | tail -n 1)"
[ -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ] || { echo "Qt for Windows not found in $qt" >&2; exit 1; }
# Qt's German texts (the same Qt version's, from the host) where Qt for Windows looks for them, so
# that the programs and tests of the build folder find them as the installed ones do.
if [ ! -f "$qt/translations/qtbase_de.qm" ]; then
    mkdir -p "$qt/translations"
    cp /usr/share/qt6/translations/qtbase_de.qm "$qt/translations/"
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
fi
cmake --build "$build" -j "$jobs"
cmake --build "$build" --target installer
version="$(sed -n 's/^project(Telvaro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
setup="$build/telvaro-$version-setup.exe"
[ -f "$setup" ] || { echo "installer $setup missing" >&2; exit 1; }
echo "Installer: $setup ($(du -k "$setup" | cut -f1) KiB)"
