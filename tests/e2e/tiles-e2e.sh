#!/usr/bin/env bash
# The Tiles window end to end: the real program on its own Xvfb display opens the demo ROM,
# "Maps" opens the editor, a double-click on a chooser tile opens the Tiles window on it,
# one pixel is painted with the next value, Enter applies it and the editor's "Save" writes
# the file. The file must then be, byte for byte, the demo ROM with that one pixel changed
# through the tile model.
# Usage: tiles-e2e.sh BIN_DIR PALETTE_FILE TILE_PIXEL_TOOL
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" tiles-e2e "$1" "$2"
helper="$3"

read -r cx cy < <("$helper" geometry) || fail "no geometry from $helper"
cp "$rom" "$work/original.nes"
# Tile 70 of the first map, graphics set 0, pixel (5, 6): in its top-left quarter.
tile=70
px=5
py=6
value="$("$helper" expect "$rom" 0 "$tile" "$px" "$py" "$work/expected.nes")" || fail "no expected file"

start_program
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window"
xdotool mousemove --window "$maps" $((465 + 16 * (tile % 16) + 8)) $((158 + 16 * (tile / 16) + 8)) \
    click --repeat 2 --delay 80 1
tiles="$(window Tiles)"
[ -n "$tiles" ] || fail "a double-click on a chooser tile opened no Tiles window"
# Keys are typed into the focused window: an Enter sent to the window by id (xdotool key
# --window) that closes it was seen to reach the main window later as well, which then
# opened a second map editor once the first closed.
xdotool windowfocus --sync "$tiles"
xdotool key $((value + 1))
xdotool mousemove --window "$tiles" $((cx + 16 * px + 8)) $((cy + 16 * py + 8)) click 1
xdotool key Return
expect_closed Tiles "Enter left the Tiles window open"
cmp -s "$rom" "$work/original.nes" || fail "the file changed before Save"
save_and_close_editor "$maps"
quit_program

cmp "$work/expected.nes" "$rom" >"$work/cmp.txt" ||
    fail "the saved file is not the expected one: $(head -3 "$work/cmp.txt")"
echo "Tiles window end to end: tile $tile pixel ($px, $py) became $value, saved; passed"
