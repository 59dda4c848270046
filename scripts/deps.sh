#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the demo, the benchmarks and the package check
# need. Quick when all are present.
set -euo pipefail
# With arguments: those packages instead (scripts/windows-deps.sh passes the Windows build's).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
          libssl-dev libgl-dev xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2 clang-format bc time python3
          dpkg-dev file lintian appstream desktop-file-utils nmap iproute2)
[ $# -gt 0 ] && packages=("$@")
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
