#!/usr/bin/env bash
# Makes run/ with the demo ROM and the colour file, then starts the editor there on
# demo.nes. An existing run/demo.nes is kept with its edits; delete
# it (or run/) for a fresh one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
for program in atlasforge atlasforge-cli; do
    if [ ! -x "$build/$program" ]; then
        echo "run-demo: $build/$program is missing; run 'make build' first" >&2
        exit 1
    fi
done
if [ ! -f "$root/palette.pal" ]; then
    echo "run-demo: $root/palette.pal is missing" >&2
    exit 1
fi

mkdir -p "$root/run"
if [ ! -f "$root/run/demo.nes" ]; then
    "$build/atlasforge-cli" demo "$root/run/demo.nes"
fi
cp "$root/palette.pal" "$root/run/palette.pal"
cd "$root/run"
exec "$build/atlasforge" demo.nes
