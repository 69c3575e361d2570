#!/usr/bin/env bash
# The enemy viewer end to end: the real program on its own Xvfb display opens the demo ROM
# through the "Open" dialog, "Enemies" opens the viewer, and the name and HP it shows for
# chosen enemies must match what atlasforge-cli reads from the same file. The texts are read
# back through the clipboard (Ctrl+C in the list and in the HP field).
# Usage: enemies-e2e.sh BIN_DIR PALETTE_FILE
set -uo pipefail

bindir="$(cd "$1" && pwd)"
palette="$(realpath "$2")"
for tool in Xvfb xdotool xclip jq; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

work="$(mktemp -d)"
xvfb=""
app=""
cleanup() {
    if [ -n "$app" ] && kill -0 "$app" 2>/dev/null; then
        kill "$app"
        wait "$app" 2>/dev/null
    fi
    if [ -n "$xvfb" ] && kill -0 "$xvfb" 2>/dev/null; then
        kill "$xvfb"
        wait "$xvfb" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    import -window root "$work/failure.png" 2>/dev/null &&
        cp "$work/failure.png" "${TMPDIR:-/tmp}/enemies-e2e-failure.png" &&
        echo "screenshot: ${TMPDIR:-/tmp}/enemies-e2e-failure.png"
    exit 1
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")" QT_QPA_PLATFORM=xcb

"$bindir/atlasforge-cli" demo "$work/demo.nes" >/dev/null || fail "no demo ROM"
"$bindir/atlasforge-cli" enemies "$work/demo.nes" --json >"$work/enemies.json" ||
    fail "atlasforge-cli enemies failed"
cp "$palette" "$work/palette.pal"

window() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }
clipboard() {
    sleep 0.3
    timeout 5 xclip -o -selection clipboard 2>/dev/null
}

(cd "$work" && exec "$bindir/atlasforge") &
app=$!

open="$(window Open)"
[ -n "$open" ] || fail "no Open dialog"
xdotool windowfocus --sync "$open"
xdotool type --delay 15 "$work/demo.nes"
xdotool key Return

main="$(window Atlasforge)"
[ -n "$main" ] || fail "no main window"
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
for _ in $(seq 50); do
    [ -z "$(xdotool search --onlyvisible --name '^Enemies$' 2>/dev/null)" ] && break
    sleep 0.1
done
[ -z "$(xdotool search --onlyvisible --name '^Enemies$' 2>/dev/null)" ] || fail "Esc left the viewer open"
xdotool windowfocus --sync "$main"
xdotool key Escape
for _ in $(seq 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "the program did not end after Esc in the main window"
wait "$app"
app=""
echo "enemy viewer end to end: passed"
