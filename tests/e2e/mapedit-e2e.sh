#!/usr/bin/env bash
# The map editor end to end: the real program on its own Xvfb display opens the demo ROM
# through the "Open" dialog, "Maps" opens the editor, one cell of the first map is painted
# with another tile, F5 hands a stand-in emulator a temporary copy with the map stored, and
# "Save" writes the file. atlasforge-cli's export of the map before and after must differ in
# exactly that cell, and the temporary copy must be gone once the program has ended.
# Usage: mapedit-e2e.sh BIN_DIR PALETTE_FILE
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" mapedit-e2e "$@"

"$bindir/atlasforge-cli" export "$rom" 0 "$work/before.csv" >/dev/null || fail "export failed"
cp "$rom" "$work/original.nes"

# The cell to paint: view cell (5, 7), which is map cell (5, 7) with the view at the top
# left; the tile is the next one after what the cell holds.
vx=5
vy=7
old="$(awk -F, -v x="$vx" -v y="$vy" 'NR == y + 1 { print $(x + 1) + 0 }' "$work/before.csv")"
[ -n "$old" ] || fail "cannot read cell ($vx, $vy) from the export"
tile=$(((old + 1) % 128))

# The stand-in emulator records the file it was given and keeps a copy.
cat >"$work/emu.sh" <<'SCRIPT'
#!/bin/sh
cp "$1" "$(dirname "$0")/played.nes" && printf '%s\n' "$1" >"$(dirname "$0")/played-path"
SCRIPT
chmod +x "$work/emu.sh"
export ATLASFORGE_EMULATOR="$work/emu.sh"

start_program
# The centre of "Maps" (7, 42, 85 by 14 dialog units at 6 by 13 base units).
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window"

# Without a window manager, window coordinates are client pixels: the chooser starts at
# (465, 158) and the map view at (163, 30), 16 pixels a tile.
xdotool mousemove --window "$maps" $((465 + 16 * (tile % 16) + 8)) $((158 + 16 * (tile / 16) + 8)) click 1
xdotool mousemove --window "$maps" $((163 + 16 * vx + 8)) $((30 + 16 * vy + 8)) click 1
xdotool key --window "$maps" F5
for _ in $(seq 100); do
    [ -s "$work/played-path" ] && break
    sleep 0.1
done
[ -s "$work/played-path" ] || fail "F5 did not start the emulator"
cmp -s "$rom" "$work/original.nes" || fail "F5 changed the ROM file"
cmp -s "$work/played.nes" "$work/original.nes" && fail "the emulator got the ROM without the edit"
played="$(cat "$work/played-path")"
[ -f "$played" ] || fail "the copy the emulator plays is already gone"
save_and_close_editor "$maps"
quit_program
[ -e "$played" ] && fail "the temporary copy $played outlived the program"
cmp -s "$work/played.nes" "$rom" || fail "the emulator's copy is not what Save wrote"

"$bindir/atlasforge-cli" export "$rom" 0 "$work/after.csv" >/dev/null || fail "export after Save failed"
changes="$(awk -F, 'NR == FNR { for (i = 1; i <= NF; i++) before[FNR, i] = $i + 0; next }
    { for (i = 1; i <= NF; i++) if ($i + 0 != before[FNR, i]) printf "%d,%d=%d\n", i - 1, FNR - 1, $i + 0 }' \
    "$work/before.csv" "$work/after.csv")"
[ "$changes" = "$vx,$vy=$tile" ] || fail "expected only cell ($vx, $vy) to become $tile, got: ${changes:-no change}"
echo "map editor end to end: cell ($vx, $vy) went from $old to $tile; passed"
