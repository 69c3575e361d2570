#!/usr/bin/env bash
# Writes the manual pages atlasforge.1.gz and atlasforge-cli.1.gz into OUT-DIR from the
# programs' own --help texts (help2man), so a page never says other than the program does.
# The tool's page gets each command's own --help as a section of its own.
set -euo pipefail
gui=$1 cli=$2 src=$3 out=$4 version=$5
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A --help text as roff lines shown as they are: backslashes, leading dots and hyphens
# escaped (a plain hyphen may print as a typographic one that a shell does not take).
verbatim() {
    echo ".nf"
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
    echo ".fi"
}

help2man --no-info --include "$src/atlasforge.h2m" \
    --name "editor for the world maps, tiles and enemies of an NES role-playing game's ROM" \
    --output "$tmp/atlasforge.1" "$gui"

{
    cat "$src/atlasforge-cli.h2m"
    echo "[COMMANDS]"
    for command in $("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk '/^  [a-z]/ {print $1}'); do
        echo ".SS $command"
        "$cli" "$command" --help | verbatim
    done
} >"$tmp/atlasforge-cli.h2m"
help2man --no-info --include "$tmp/atlasforge-cli.h2m" --version-string "$version" \
    --name "the Atlasforge editor's ROM operations from the command line" \
    --output "$tmp/atlasforge-cli.1" "$cli"

# Debian wants manual pages compressed to the utmost, without a time stamp in the archive.
for page in atlasforge atlasforge-cli; do
    gzip -9n -c "$tmp/$page.1" >"$out/$page.1.gz"
done
