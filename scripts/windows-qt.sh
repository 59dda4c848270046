#!/usr/bin/env bash
# Builds Qt (qtbase) for 64-bit Windows once, into a cache outside the repository, and prints the
# install prefix on the last line of its output. The cache entry is keyed by the host's Qt version,
# the configure options and the toolchain file; an existing entry is reused. The source is the
# Debian source package of exactly the host's Qt version, fetched through a private sources list
# derived from the machine's own apt configuration.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${TELVARO_WIN_CACHE:-$HOME/.cache/telvaro-win}"
jobs="${TELVARO_WIN_QT_JOBS:-2}"

deb_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
qt_version="${deb_version%%+*}"
toolchain_src="$here/cmake/windows/mingw-w64-x86_64.cmake"

options=(-release -shared -opensource -confirm-license -nomake tests -nomake examples
         -xplatform win32-g++ -qt-host-path /usr
         -no-opengl -no-dbus -no-icu -no-pkg-config -no-openssl
         -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz
         -no-feature-tabletevent -no-feature-sql -no-feature-printsupport -no-feature-concurrent
         -no-feature-xml -no-feature-vulkan)

key="$( { echo "$deb_version"; printf '%s\n' "${options[@]}"; cat "$toolchain_src"; } | sha256sum | cut -c1-12)"
prefix="$cache/qt-$qt_version-$key"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/qt-$qt_version-$key.lock"
if ! flock -n 9; then
    echo "Another Qt build for this cache entry is running; waiting for it." >&2
    flock 9
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work="$cache/work-$qt_version-$key"
mkdir -p "$work"
started=$(date +%s)

# Source: a private apt state whose deb-src entries mirror the machine's own deb entries.
src_dir="$work/src"
if [ ! -f "$src_dir/.fetched" ]; then
    rm -rf "$src_dir"
    apt_root="$work/apt"
    mkdir -p "$apt_root/lists/partial" "$apt_root/archives/partial" "$src_dir"
    : >"$apt_root/telvaro.sources"
    shopt -s nullglob
    for f in /etc/apt/sources.list.d/*.sources; do
        # deb822 stanzas: Types lines become deb-src, everything else is kept as it is.
        sed -E 's/^Types:.*$/Types: deb-src/' "$f" >>"$apt_root/telvaro.sources"
        echo >>"$apt_root/telvaro.sources"
    done
    : >"$apt_root/telvaro.list"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >>"$apt_root/telvaro.list"
    done
    shopt -u nullglob
    mkdir -p "$apt_root/parts"
    cp "$apt_root/telvaro.sources" "$apt_root/parts/telvaro.sources"
    [ -s "$apt_root/telvaro.list" ] && cp "$apt_root/telvaro.list" "$apt_root/parts/telvaro.list"
    apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_root/parts"
              -o "Dir::State::Lists=$apt_root/lists" -o "Dir::Cache::Archives=$apt_root/archives"
              -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
    apt-get "${apt_opts[@]}" update -qq
    (cd "$src_dir" && apt-get "${apt_opts[@]}" source -qq "qt6-base=$deb_version")
    touch "$src_dir/.fetched"
fi
qt_src="$(find "$src_dir" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
[ -n "$qt_src" ] || { echo "Qt source not found under $src_dir" >&2; exit 1; }

# The toolchain file is copied into the cache so the installed Qt never points into a checkout.
mkdir -p "$prefix"
cp "$toolchain_src" "$prefix/mingw-w64-x86_64.cmake"

build="$work/build"
mkdir -p "$build"
cd "$build"
if [ ! -f build.ninja ]; then
    "$qt_src/configure" -prefix "$prefix" "${options[@]}" -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"
fi
cmake --build . --parallel "$jobs"
cmake --install .
elapsed=$(( $(date +%s) - started ))
echo "$elapsed" >"$prefix/.build-seconds"
touch "$prefix/.complete"
rm -rf "$work"
echo "Qt $qt_version for Windows built in $((elapsed / 60)) min $((elapsed % 60)) s" >&2
echo "$prefix"
