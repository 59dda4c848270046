#!/usr/bin/env bash
# The build keeps the layers apart (src/CMakeLists.txt: each layer sees only its own headers and
# those of the layers it links). This checks what an include path cannot stop:
#  - Qt's GUI modules reached through the common Qt include root (<QtWidgets/QWidget>, <QtGui/...>)
#    from code without windows (src/core, src/cli);
#  - a path that climbs out of its own folder ("../"), which would bypass the layer's include root.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 2
bad=0
report() { echo "layering: $1"; bad=1; }

windowless=(src/core)
[ -d src/cli ] && windowless+=(src/cli)
while IFS= read -r hit; do report "Qt GUI module in code without windows: $hit"; done \
    < <(grep -rnE '#include *[<"](QtWidgets|QtGui|QtPrintSupport|QtSvg)/' "${windowless[@]}" || true)
while IFS= read -r hit; do report "include climbs out of its folder: $hit"; done \
    < <(grep -rnE '#include *"[^"]*\.\./' src tools || true)
if [ "$bad" -ne 0 ]; then exit 1; fi
echo "layering: ok"
