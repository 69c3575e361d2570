#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that everything a desktop needs landed.
set -u
cmake="$1"
build="$2"
prefix="$3"
appid="$4"
rm -rf "$prefix"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null || exit 1

status=0
expect() {
    if [ ! -f "$prefix/$1" ]; then
        echo "missing after install: $1"
        status=1
    fi
}
expect bin/atlasforge
expect bin/atlasforge-cli
expect "share/applications/$appid.desktop"
expect "share/metainfo/$appid.metainfo.xml"
for f in bin/atlasforge bin/atlasforge-cli; do
    if [ -f "$prefix/$f" ] && [ ! -x "$prefix/$f" ]; then
        echo "not executable after install: $f"
        status=1
    fi
done
if [ -z "$(find "$prefix/share/icons/hicolor" -name "$appid.png" 2>/dev/null)" ]; then
    echo "no icon installed in the hicolor theme"
    status=1
fi
if [ "$(stat -c %s "$prefix/share/atlasforge/palette.pal" 2>/dev/null)" != 192 ]; then
    echo "share/atlasforge/palette.pal missing or not 192 bytes"
    status=1
fi
rm -rf "$prefix"
exit "$status"
