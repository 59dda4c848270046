#!/usr/bin/env bash
# Installs the Debian packages the Windows build needs: the MinGW-w64 cross compilers, 64-bit Wine,
# NSIS and what fetching and building Qt's source takes. Quick when all are present.
set -euo pipefail
exec bash "$(dirname "$0")/deps.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    wine wine64 nsis xvfb xauth cmake ninja-build dpkg-dev perl python3 qt6-base-dev qt6-base-dev-tools file
