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

core="rom worldmap gfx text edit tiles"
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
# No view reads another view's state: each draws what the document announces, so no view
# includes another's header. The map editor may open the World window (MapsDlgWorld.cpp
# includes WorldDlg.h for that alone), and the World window holds its canvas and palette.
forbid "mapeditor/MapsDlg*" \
    '#include "mapeditor/(WorldCanvas|TilePalette|ReplaceDlg)\.h"' \
    "the map editor includes the World window's views"
forbid "mapeditor/WorldDlg.h mapeditor/WorldDlg.cpp mapeditor/TilePalette.h mapeditor/TilePalette.cpp mapeditor/ReplaceDlg.h mapeditor/ReplaceDlg.cpp" \
    '#include "mapeditor/MapsDlg\.h"' "a World window view includes the map editor"
forbid "mapeditor/WorldCanvas.h mapeditor/WorldCanvas.cpp mapeditor/WorldCanvasTools.cpp mapeditor/RowGutter.h mapeditor/RowGutter.cpp" \
    '#include "mapeditor/(MapsDlg|WorldDlg|TilePalette)\.h"' "the canvas includes another view"
forbid "mapeditor/TilePalette.h mapeditor/TilePalette.cpp" \
    '#include "mapeditor/(WorldCanvas|WorldDlg)\.h"' "the tile palette includes another view"
# Control ids of the windows are 1000 to 1099.
forbid "text" '\b10[0-9][0-9]\b' "a control id in text/"

if [ "$failures" -ne 0 ]; then
    echo "FAILED: $failures layer rule(s) broken" >&2
    exit 1
fi
echo "layer check: all rules hold"
