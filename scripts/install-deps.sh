#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this Debian 12 machine lacks.
# A second run finds everything installed and returns at once.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache git pkg-config python3
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
    googletest libgtest-dev libbenchmark-dev
    clang clang-format libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine64 wine
    nsis osslsigncode softhsm2 opensc libengine-pkcs11-openssl dpkg-dev unzip
    xvfb xauth trayer imagemagick xdotool libx11-dev
    fonts-dejavu-core fonts-wqy-microhei
    python3-liblo liblo-tools
    qt6-httpserver-dev qt6-websockets-dev libqrencode-dev
    chromium chromium-driver python3-selenium python3-xlib zbar-tools
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root (or install sudo) to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
