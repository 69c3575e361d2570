#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the end-to-end run need.
# Does nothing when all of them are present already.
set -euo pipefail

packages=(
    build-essential cmake pkg-config ccache
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev libzstd-dev
    qt6-base-dev qt6-qpa-plugins libgl-dev
    fonts-liberation
    xvfb xdotool x11-utils imagemagick tiled xclip jq
    appstream desktop-file-utils
    help2man lintian dpkg-dev fakeroot
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
