#!/usr/bin/env bash
# The enemy viewer end to end: the real program on its own Xvfb display opens the demo ROM
# through the "Open" dialog, "Enemies" opens the viewer, and the name and HP it shows for
# chosen enemies must match what atlasforge-cli reads from the same file. The texts are read
# back through the clipboard (Ctrl+C in the list and in the HP field).
# Usage: enemies-e2e.sh BIN_DIR PALETTE_FILE
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" enemies-e2e "$@" xclip jq

"$bindir/atlasforge-cli" enemies "$rom" --json >"$work/enemies.json" ||
    fail "atlasforge-cli enemies failed"

clipboard() {
    sleep 0.3
    timeout 5 xclip -o -selection clipboard 2>/dev/null
}

start_program
# The centre of "Enemies" (104, 22, 50 by 14 dialog units at 6 by 13 base units).
xdotool mousemove --window "$main" 193 47 click 1
viewer="$(window Enemies)"
[ -n "$viewer" ] || fail "no Enemies window"
xdotool windowfocus --sync "$viewer"

check() { # index, keys that select it in the list
    local index="$1"
    shift
    # A click on the first row gives the list the focus; the keys then move the selection.
    xdotool mousemove --window "$viewer" 60 18 click 1
    xdotool key "$@"
    xdotool key ctrl+c
    local name
    name="$(clipboard)"
    # The middle of the HP field (110, 39, 40 by 14 dialog units).
    xdotool mousemove --window "$viewer" 195 74 click 1
    xdotool key ctrl+a ctrl+c
    local hp
    hp="$(clipboard)"

    local want_name want_hp
    want_name="$(jq -r ".[$index].name" "$work/enemies.json")"
    want_hp="$(jq -r ".[$index].record[1] + 256 * .[$index].record[2]" "$work/enemies.json")"
    [ "$name" = "$want_name" ] || fail "enemy $index: name '$name', expected '$want_name'"
    [ "$hp" = "$want_hp" ] || fail "enemy $index: HP '$hp', expected '$want_hp'"
    echo "enemy $index: $name, HP $hp"
}
check 3 Down Down Down
check 213 End

# Esc closes the viewer, then the main window, and the program ends.
xdotool key Escape
expect_closed Enemies "Esc left the viewer open"
quit_program
echo "enemy viewer end to end: passed"
