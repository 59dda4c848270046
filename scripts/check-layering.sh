#!/usr/bin/env bash
# The core library (src/core) works without windows: no widget header, nothing of src/gui. Inside
# the core, radioids/ and firmware/ use only the generic pieces of base/, never setups/ or the link.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 2
bad=0
report() { echo "layering: $1"; bad=1; }

widgets='#include *[<"](QtWidgets/|QtGui/|Q(Widget|Dialog|MessageBox|FileDialog|Application|MainWindow|LineEdit|PushButton|Label|Painter|GuiApplication|Screen|Style|Palette|Font|Icon|Pixmap|Color)\b)'
while IFS= read -r hit; do report "widget or GUI header in the core: $hit"; done \
    < <(grep -rnE "$widgets" src/core || true)
while IFS= read -r hit; do report "core includes a window header: $hit"; done \
    < <(grep -rnE '#include *"(app|dialog|common)/' src/core || true)
while IFS= read -r hit; do report "radioids/firmware reach into setups or the link: $hit"; done \
    < <(grep -rnE '#include *"(setups|link|session)/' src/core/radioids src/core/firmware || true)
while IFS= read -r hit; do report "base depends on a subsystem: $hit"; done \
    < <(grep -rnE '#include *"(setups|link|session|radioids|firmware)/' src/core/base || true)
if [ "$bad" -ne 0 ]; then exit 1; fi
echo "layering: ok"
