#!/usr/bin/env bash
# Installs the Debian packages the Windows build needs: the MinGW-w64 cross compilers, 64-bit Wine,
# NSIS and what fetching and building Qt's source takes. Quick when all are present.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis
          xvfb xauth cmake ninja-build dpkg-dev perl python3 qt6-base-dev qt6-base-dev-tools file)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
