# shellcheck shell=bash
# Shared by the end-to-end tests, which source it as
#   source lib.sh NAME BIN_DIR PALETTE_FILE [EXTRA_TOOL...]
# It skips the test (exit 77) when a tool is missing, makes a work folder holding the demo
# ROM ($rom), the palette and the program's recovery files, starts a private Xvfb display,
# and on exit ends by process id whatever the test started: Xvfb and the program ($app).
set -uo pipefail

name="$1"
bindir="$(cd "$2" && pwd)"
palette="$(realpath "$3")"
shift 3
for tool in Xvfb xdotool "$@"; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
        exit 77
    fi
done

work="$(mktemp -d)"
xvfb=""
app=""
stop() { # PID: ends the process if it still runs, and reaps it
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill "$1"
        wait "$1" 2>/dev/null
    fi
}
cleanup() {
    stop "$app"
    stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if command -v import >/dev/null && import -window root "$work/failure.png" 2>/dev/null; then
        cp "$work/failure.png" "${TMPDIR:-/tmp}/$name-failure.png"
        echo "screenshot: ${TMPDIR:-/tmp}/$name-failure.png"
    fi
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
DISPLAY=":$(head -1 "$work/display")"
export DISPLAY QT_QPA_PLATFORM=xcb

# The program's recovery files stay in the work folder, out of the user's home.
export XDG_STATE_HOME="$work/state"

rom="$work/demo.nes"
"$bindir/atlasforge-cli" demo "$rom" >/dev/null || fail "no demo ROM"
cp "$palette" "$work/palette.pal"

window() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }

# Starts the program in the work folder, answers its "Open" dialog with the demo ROM by
# typing, and sets $main to the main window.
start_program() {
    (cd "$work" && exec "$bindir/atlasforge") &
    app=$!
    local open
    open="$(window Open)"
    [ -n "$open" ] || fail "no Open dialog"
    xdotool windowfocus --sync "$open"
    xdotool type --delay 15 "$rom"
    xdotool key Return
    main="$(window Atlasforge)"
    [ -n "$main" ] || fail "no main window"
}

# TITLE MESSAGE: fails with MESSAGE unless the window TITLE goes away within five seconds.
expect_closed() {
    for _ in $(seq 50); do
        [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ] && return
        sleep 0.1
    done
    fail "$2"
}

# MAPS_WINDOW: clicks "Save" (419, 7, 68 by 14 dialog units) in the map editor and waits
# for the ROM to differ from $work/original.nes; then "Cancel" (419, 39, 68 by 14) closes
# the editor.
save_and_close_editor() {
    xdotool mousemove --window "$1" 679 22 click 1
    for _ in $(seq 100); do
        cmp -s "$rom" "$work/original.nes" || break
        sleep 0.1
    done
    cmp -s "$rom" "$work/original.nes" && fail "Save did not change the file"
    xdotool mousemove --window "$1" 679 74 click 1
    expect_closed Maps "Cancel left the editor open"
}

# Waits up to ten seconds for the program to end, failing with $1 if it does not; its exit
# status is left in $ended_status.
await_end() {
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app" 2>/dev/null && fail "$1"
    wait "$app"
    ended_status=$?
    app=""
}

# Esc in the main window ends the program.
quit_program() {
    xdotool windowfocus --sync "$main"
    xdotool key Escape
    await_end "the program did not end after Esc in the main window"
}
