#!/usr/bin/env bash
# Builds the Debian package from the build folder into a scratch folder and checks it: its
# exact file list, the dependencies dpkg-shlibdeps found, the desktop entry's file
# handling, the manual pages, and lintian with no error.
set -u
cpack="$1"
build="$2"
scratch="$3"
for tool in dpkg-deb lintian; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (scripts/install-deps.sh installs it)"
        exit 1
    fi
done
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
if ! (cd "$build" && "$cpack" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1); then
    cat "$scratch/cpack.log"
    echo "cpack failed"
    exit 1
fi
debs=("$scratch"/atlasforge_*_amd64.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "expected one atlasforge_<version>_amd64.deb, found: ${debs[*]}"
    exit 1
fi
deb="${debs[0]}"
status=0

expected="usr/bin/atlasforge
usr/bin/atlasforge-cli
usr/share/applications/org.atlasforge.Atlasforge.desktop
usr/share/atlasforge/palette.pal
usr/share/bash-completion/completions/atlasforge-cli
usr/share/doc/atlasforge/changelog.gz
usr/share/doc/atlasforge/copyright
usr/share/icons/hicolor/16x16/apps/org.atlasforge.Atlasforge.png
usr/share/icons/hicolor/256x256/apps/org.atlasforge.Atlasforge.png
usr/share/icons/hicolor/32x32/apps/org.atlasforge.Atlasforge.png
usr/share/icons/hicolor/48x48/apps/org.atlasforge.Atlasforge.png
usr/share/man/man1/atlasforge-cli.1.gz
usr/share/man/man1/atlasforge.1.gz
usr/share/metainfo/org.atlasforge.Atlasforge.metainfo.xml"
actual=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$(echo "$expected" | LC_ALL=C sort)" ]; then
    echo "the package's files differ from the expected list (< expected, > packaged):"
    diff <(echo "$expected" | LC_ALL=C sort) <(echo "$actual")
    status=1
fi

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libc6 zlib1g; do
    if [[ $depends != *"$library"* ]]; then
        echo "Depends lacks $library: $depends"
        status=1
    fi
done

unpacked="$scratch/root"
dpkg-deb -x "$deb" "$unpacked"
desktop="$unpacked/usr/share/applications/org.atlasforge.Atlasforge.desktop"
for line in 'Exec=atlasforge %f' 'MimeType=application/x-nes-rom;'; do
    if ! grep -qxF "$line" "$desktop"; then
        echo "the desktop entry lacks the line: $line"
        status=1
    fi
done
# Each page holds its program's --help: the options of one, each command's help in the other.
for check in 'atlasforge.1.gz:XDG_CONFIG_HOME' 'atlasforge-cli.1.gz:Usage: atlasforge\-cli tiles'; do
    page=${check%%:*}
    if ! zcat "$unpacked/usr/share/man/man1/$page" | grep -qF "${check#*:}"; then
        echo "$page does not hold: ${check#*:}"
        status=1
    fi
done

# lintian's exit status fails on an error; its warnings and notes are shown too.
lint=$(lintian --fail-on error --info "$deb" 2>&1)
lintStatus=$?
echo "$lint" | grep -v 'running with root privileges'
if [ "$lintStatus" -ne 0 ] || grep -q '^E:' <<<"$lint"; then
    echo "lintian reports errors"
    status=1
fi
exit "$status"
