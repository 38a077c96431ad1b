#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache pkg-config clang-format
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins qt6-translations-l10n
    libsodium-dev
    poppler-utils fonts-urw-base35 fonts-liberation
    xvfb xauth openbox xdotool x11-utils imagemagick
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
    build-essential dpkg-dev debhelper lintian
    desktop-file-utils appstream librsvg2-bin man-db
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
