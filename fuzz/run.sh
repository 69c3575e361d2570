#!/usr/bin/env bash
# Runs one fuzz target for a while, from the seeds atlasforge-fuzz-corpus writes and the
# inputs kept from earlier findings (fuzz/kept/NAME), with NAME's dictionary when there is
# one (fuzz/dict/NAME.dict). New inputs go to WORK/corpus/NAME, a crash's input to
# WORK/findings/NAME. The target runs in a scratch folder that must stay empty: a reader
# writes no files.
# Usage: run.sh NAME SECONDS BUILD-DIR WORK
set -euo pipefail
name=$1 seconds=$2 build=$3 work=$4
src=$(cd "$(dirname "$0")" && pwd)
binary=$(cd "$build" && pwd)/atlasforge-fuzz-$name
mkdir -p "$work/corpus/$name" "$work/findings/$name"
work=$(cd "$work" && pwd)

# The seeds of every target, when none have been written yet.
[ -d "$work/seeds/$name" ] || "$(cd "$build" && pwd)/atlasforge-fuzz-corpus" "$work/seeds"
dirs=("$work/corpus/$name" "$work/seeds/$name")
[ -d "$src/kept/$name" ] && dirs+=("$src/kept/$name")
options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
         -artifact_prefix="$work/findings/$name/")
[ -f "$src/dict/$name.dict" ] && options+=(-dict="$src/dict/$name.dict")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
(cd "$scratch" && "$binary" "${options[@]}" "${dirs[@]}") || status=$?
if [ -n "$(ls -A "$scratch")" ]; then
    echo "atlasforge-fuzz-$name wrote files in its working folder:" >&2
    ls -A "$scratch" >&2
    status=1
fi
exit $status
