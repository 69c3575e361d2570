#!/usr/bin/env bash
# The layers of the source tree, checked from the includes: the core stays free of Qt and
# of everything above it, the formats stay free of the tool and the windows, the world-map
# files call each other one way, and the text module knows no window's control ids.
set -uo pipefail
root=${1:?usage: check-layers.sh SOURCE_DIR}
cd "$root" || exit 2
failures=0

fail() {
    echo "layer check: $*" >&2
    failures=$((failures + 1))
}

# forbid FOLDERS PATTERN WHAT: no file under FOLDERS has a line matching PATTERN.
forbid() {
    local folders=$1 pattern=$2 what=$3 hits
    # shellcheck disable=SC2086
    hits=$(grep -rnE "$pattern" $folders --include='*.h' --include='*.cpp')
    if [ -n "$hits" ]; then
        fail "$what:"
        echo "$hits" >&2
    fi
}

core="rom worldmap gfx text edit"
for folder in $core formats cli; do
    [ -d "$folder" ] || fail "missing folder $folder"
done

forbid "$core" '#include <Q' "the core includes Qt"
forbid "$core" '#include "(formats|cli|demo|app|mapeditor|enemies|resources)/' \
    "the core includes a layer above it"
forbid "formats demo" '#include "(cli|app|mapeditor|enemies|resources)/' \
    "formats/ or demo/ include the tool or the windows"
forbid "formats demo" '#include <QtWidgets|#include <QWidget|#include <QDialog' \
    "formats/ or demo/ include widgets"
forbid "worldmap/RowCode.h worldmap/RowCode.cpp" '#include "worldmap/(MapLayout|WorldMap)\.h"' \
    "the row code includes what builds on it"
forbid "worldmap/MapLayout.h worldmap/MapLayout.cpp" '#include "worldmap/WorldMap\.h"' \
    "the layout checks include the store"
# The World window's tools see the canvas only through their own interface (tools/Tool.h):
# from mapeditor/ they include only mapeditor/tools/, and nothing of the widgets.
forbid "mapeditor/tools" '#include "(app|enemies|resources)/|#include "mapeditor/[^t]' \
    "a tool includes the canvas or a window"
forbid "mapeditor/tools" '#include <(QWidget|QtWidgets|QAbstractScrollArea|QDialog)' \
    "a tool includes widgets"
# Control ids of the windows are 1000 to 1099.
forbid "text" '\b10[0-9][0-9]\b' "a control id in text/"

if [ "$failures" -ne 0 ]; then
    echo "FAILED: $failures layer rule(s) broken" >&2
    exit 1
fi
echo "layer check: all rules hold"
