#!/usr/bin/env bash
# Makes demo/ with the demo ROM and the palette, then starts the editor there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$root/demo"
if [ -x "$root/build/atlasforge-cli" ]; then
    [ -f "$root/demo/demo.nes" ] || "$root/build/atlasforge-cli" demo "$root/demo/demo.nes"
fi
[ -f "$root/palette.pal" ] && cp -n "$root/palette.pal" "$root/demo/palette.pal" || true
if [ -x "$root/build/atlasforge" ]; then
    cd "$root/demo"
    exec "$root/build/atlasforge"
fi
echo "Built: $(ls "$root/build" | grep -E '^atlasforge' | tr '\n' ' ')"
