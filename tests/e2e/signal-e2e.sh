#!/usr/bin/env bash
# Ended by the desktop: the real program, on its own Xvfb display, opens the demo ROM named
# on its command line; F5 in "Maps" hands a stand-in emulator (which stays running) a
# temporary copy; SIGTERM by process id, while the editor's window is up, must end the
# program by that signal within a few seconds, and the copy and its folder must be gone.
# Usage: signal-e2e.sh BIN_DIR PALETTE_FILE
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh" signal-e2e "$@"

emulator=""
played=""
# A failed run leaves no copy behind either.
leftovers() {
    stop "$emulator"
    case "$played" in
    "${TMPDIR:-/tmp}"/*/*.nes) rm -rf "$(dirname "$played")" ;;
    esac
    cleanup
}
trap leftovers EXIT

# The stand-in records the file it was given and its own process id, then stays.
cat >"$work/emu.sh" <<'SCRIPT'
#!/bin/sh
printf '%s\n' "$$" >"$(dirname "$0")/emulator-pid"
printf '%s\n' "$1" >"$(dirname "$0")/played-path"
exec sleep 60
SCRIPT
chmod +x "$work/emu.sh"
export ATLASFORGE_EMULATOR="$work/emu.sh %f"

(cd "$work" && exec "$bindir/atlasforge" "$rom") &
app=$!
main="$(window Atlasforge)"
[ -n "$main" ] || fail "no main window for the ROM named on the command line"
# The centre of "Maps" (7, 42, 85 by 14 dialog units at 6 by 13 base units).
xdotool mousemove --window "$main" 74 79 click 1
maps="$(window Maps)"
[ -n "$maps" ] || fail "no Maps window"
xdotool key --window "$maps" F5
for _ in $(seq 100); do
    [ -s "$work/played-path" ] && [ -s "$work/emulator-pid" ] && break
    sleep 0.1
done
[ -s "$work/played-path" ] || fail "F5 did not start the emulator"
emulator="$(cat "$work/emulator-pid")"
played="$(cat "$work/played-path")"
[ -f "$played" ] || fail "the copy the emulator plays is already gone"

kill -TERM "$app"
await_end "the program still runs ten seconds after SIGTERM"
[ "$ended_status" -eq $((128 + 15)) ] ||
    fail "the program ended with status $ended_status, not by SIGTERM"
[ -e "$played" ] && fail "the temporary copy $played outlived the program"
[ -e "$(dirname "$played")" ] && fail "the temporary folder $(dirname "$played") outlived the program"
echo "SIGTERM end to end: the program ended by the signal and its emulator copy is gone; passed"
