#!/usr/bin/env bash
# Runs the desktop-entry and AppStream validators on the shipped files; skips (77) when
# neither validator is installed.
set -u
desktop="$1"
metainfo="$2"
ran=0
status=0
if command -v desktop-file-validate >/dev/null; then
    ran=1
    desktop-file-validate "$desktop" || status=1
fi
if command -v appstreamcli >/dev/null; then
    ran=1
    appstreamcli validate --no-net "$metainfo" || status=1
fi
if [ "$ran" -eq 0 ]; then
    echo "no validator installed"
    exit 77
fi
exit "$status"
