#!/usr/bin/env bash
# The World window end to end: the real program on its own Xvfb display opens the demo
# ROM, "Maps" opens the editor and "World..." the World window, where a rectangle is
# dragged out, a second one cancelled with Esc while held, and an area flood-filled; the
# window closes, "Save" writes the file, and atlasforge-cli's export of it must equal that
# of the same two operations done by `atlasforge-cli edit` on the original.
# Usage: world-e2e.sh BIN_DIR PALETTE_FILE GEOMETRY_TOOL
geometry_tool="$3"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" world-e2e "$1" "$2"

cp "$rom" "$work/original.nes"
# Where the canvas and the palette lie in the World window, measured on this display.
read -r cx cy cell px py < <("$geometry_tool") || fail "no geometry from $geometry_tool"
[ "$cell" = 16 ] || fail "the World window should open at 16 pixels a cell, not $cell"
# The window opens with map cell (0, 0) at the canvas's top left.
at_cell() { echo $((cx + cell * $1 + cell / 2)) $((cy + cell * $2 + cell / 2)); }
at_tile() { echo $((px + 16 * ($1 % 16) + 8)) $((py + 16 * ($1 / 16) + 8)); }

rect_tile=37
fill_tile=90
fill_x=30
fill_y=20

start_program
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window"
# The centre of "World..." (419, 55, 68 by 14 dialog units at 6 by 13 base units).
xdotool mousemove --window "$maps" 679 100 click 1
world="$(window World)"
[ -n "$world" ] || fail "no World window"
xdotool windowfocus --sync "$world"

# Rectangle (R): from cell (3, 4) to (12, 9) with tile 37.
xdotool key r
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_tile $rect_tile) click 1
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell 3 4) mousedown 1
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell 8 6)
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell 12 9) mouseup 1

# Esc while a second rectangle is held cancels it (nothing is filled), not the window.
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell 40 10) mousedown 1
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell 45 14)
xdotool key Escape
xdotool mouseup 1

# Fill (F): the area around cell (30, 20) with tile 90.
xdotool key f
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_tile $fill_tile) click 1
# shellcheck disable=SC2046
xdotool mousemove --window "$world" $(at_cell $fill_x $fill_y) click 1

# Esc closes the World window; the edits stay in the editor's grid until "Save".
xdotool key Escape
expect_closed World "Esc left the World window open"
save_and_close_editor "$maps"
quit_program

"$bindir/atlasforge-cli" edit "$work/original.nes" 0 rect 3,4,12,9,$rect_tile \
    fill $fill_x,$fill_y,$fill_tile >/dev/null || fail "atlasforge-cli edit failed"
"$bindir/atlasforge-cli" export "$rom" 0 "$work/window.csv" >/dev/null || fail "export failed"
"$bindir/atlasforge-cli" export "$work/original.nes" 0 "$work/cli.csv" >/dev/null ||
    fail "export of the CLI's edit failed"
cmp -s "$work/window.csv" "$work/cli.csv" ||
    fail "the window's map differs from the CLI's: $(diff "$work/window.csv" "$work/cli.csv" | head -5)"
echo "World window end to end: rectangle and flood fill match atlasforge-cli edit; passed"
