#!/usr/bin/env bash
# A crash end to end: the real program, started on the demo ROM by argument, paints one
# cell in "Maps" and is killed with SIGKILL once the recovery delay has passed. Started
# again on the ROM it asks whether to recover; Enter takes the default, Recover, and "Maps"
# shows the cell as an unstored edit, which "Save" writes. The file must then be the demo
# ROM with that one cell stored (as atlasforge-cli edit stores it), and the recovery file
# gone after the program's normal end.
# Usage: recovery-e2e.sh BIN_DIR PALETTE_FILE
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" recovery-e2e "$@"

recovery_folder="$XDG_STATE_HOME/atlasforge/recovery"
cp "$rom" "$work/original.nes"
"$bindir/atlasforge-cli" export "$rom" 0 "$work/before.csv" >/dev/null || fail "export failed"
vx=5
vy=7
old="$(awk -F, -v x="$vx" -v y="$vy" 'NR == y + 1 { print $(x + 1) + 0 }' "$work/before.csv")"
[ -n "$old" ] || fail "cannot read cell ($vx, $vy) from the export"
tile=$(((old + 1) % 128))

# Starts the program in the work folder on the ROM by argument.
start_with_rom() {
    (cd "$work" && exec "$bindir/atlasforge" "$rom") &
    app=$!
}

start_with_rom
main="$(window Atlasforge)"
[ -n "$main" ] || fail "no main window"
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window"
xdotool mousemove --window "$maps" $((465 + 16 * (tile % 16) + 8)) $((158 + 16 * (tile / 16) + 8)) click 1
xdotool mousemove --window "$maps" $((163 + 16 * vx + 8)) $((30 + 16 * vy + 8)) click 1
sleep 6
kill -KILL "$app"
wait "$app" 2>/dev/null
app=""
cmp -s "$rom" "$work/original.nes" || fail "the ROM changed before any Save"
kept=("$recovery_folder"/*.recovery)
[ -f "${kept[0]}" ] || fail "no recovery file in $recovery_folder after the delay"

# The question comes before the main window, under the same title.
start_with_rom
question="$(window Atlasforge)"
[ -n "$question" ] || fail "no recovery question"
xdotool windowfocus --sync "$question"
xdotool key Return
main=""
for _ in $(seq 100); do
    main="$(xdotool search --onlyvisible --name '^Atlasforge$' 2>/dev/null | grep -vx "$question" | head -1)"
    [ -n "$main" ] && break
    sleep 0.1
done
[ -n "$main" ] || fail "no main window after the recovery question"
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window after recovering"
save_and_close_editor "$maps"
quit_program
[ -e "${kept[0]}" ] && fail "the recovery file outlived a saved session"

"$bindir/atlasforge-cli" edit "$work/original.nes" 0 set "$vx,$vy,$tile" >/dev/null ||
    fail "the reference store failed"
cmp -s "$rom" "$work/original.nes" || fail "the saved ROM is not the demo ROM with cell ($vx, $vy) = $tile stored"
echo "recovery end to end: cell ($vx, $vy) = $tile survived SIGKILL and was saved; passed"
