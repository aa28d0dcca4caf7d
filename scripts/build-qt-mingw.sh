#!/usr/bin/env bash
# Cross-builds Qt 6.4.2 (qtbase: Core, Gui, Widgets, Network, Test and the windows, offscreen and
# minimal platform plugins) for 64-bit Windows with MinGW-w64, from Debian's own qt6-base source
# package, using Debian's Qt host tools. Installs into a cache folder outside the clone:
#   ORVELIN_QT_MINGW   install folder (default /opt/orvelin/qt6-mingw-6.4.2)
#   ORVELIN_QT_WORK    source and build folder (default /var/tmp/orvelin-qt6-mingw-build)
# A stamp in the install folder holds the hash of the recipe (Qt version, configure options and the
# toolchain file); a complete copy built from the same recipe is kept and the script returns at
# once, so changes to what the script prints do not throw the copy away. A cold build takes 21 to
# 27 minutes of two cores and prints a line of progress every minute.
set -euo pipefail

# shellcheck source=scripts/lib-mingw-qt.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib-mingw-qt.sh"
work=${ORVELIN_QT_WORK:-/var/tmp/orvelin-qt6-mingw-build}
stamp=$prefix/.orvelin-qt-stamp

qt_version=6.4.2
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_openssl=OFF -DFEATURE_schannel=OFF -DFEATURE_sspi=OFF -DFEATURE_gssapi=OFF
    -DFEATURE_networklistmanager=OFF -DFEATURE_brotli=OFF -DFEATURE_libproxy=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF -DFEATURE_system_sqlite=OFF
    -DFEATURE_system_textmarkdownreader=OFF
)
hash=$({ echo "qtbase $qt_version"; printf '%s\n' "${qt_options[@]}"; cat "$root/cmake/mingw-w64.cmake"; } | sha256sum | cut -d' ' -f1)

if stamp_holds "$stamp" "$hash"; then
    echo "MinGW Qt: complete copy in $prefix, nothing to build."
    exit 0
fi

use_sudo || { echo "Run as root (or install sudo) to build Qt into $prefix" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive

# apt-get source needs a deb-src entry: a copy of the deb entries of debian.sources.
sources=/etc/apt/sources.list.d/debian.sources
srcfile=/etc/apt/sources.list.d/orvelin-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
    echo "MinGW Qt: adding a deb-src entry ($srcfile)"
    sed 's/^Types: deb$/Types: deb-src/' "$sources" | "${sudo[@]}" tee "$srcfile" >/dev/null
    "${sudo[@]}" apt-get update
fi

echo "MinGW Qt: installing the build tools that are missing"
"$root/scripts/install-deps.sh"
need=()
for package in dpkg-dev g++-mingw-w64-x86-64-posix qt6-base-dev-tools cmake ninja-build perl python3; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${need[@]}"
fi

echo "MinGW Qt: fetching Debian's qt6-base source into $work"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source --download-only qt6-base >/dev/null && dpkg-source -x --no-check qt6-base_*.dsc src >/dev/null)

echo "MinGW Qt: configuring qtbase $qt_version for MinGW-w64 (about a minute)"
cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_options[@]}" \
    >"$work/configure.log" 2>&1 || { tail -n 80 "$work/configure.log"; exit 1; }

echo "MinGW Qt: building with $jobs jobs (21 to 27 minutes on two cores); a line of progress a minute"
begin=$SECONDS
with_progress "$work/build.log" "MinGW Qt: building, step" "[0/?]" ninja -C "$work/build" -j"$jobs" ||
    { tail -n 80 "$work/build.log"; exit 1; }
echo "MinGW Qt: built in $((SECONDS - begin)) s; installing into $prefix"
"${sudo[@]}" rm -rf "$prefix"
"${sudo[@]}" cmake --install "$work/build" >"$work/install.log" 2>&1 || { tail -n 40 "$work/install.log"; exit 1; }
echo "$hash" | "${sudo[@]}" tee "$stamp" >/dev/null
rm -rf "$work"
echo "MinGW Qt: done ($(du -sh "$prefix" | cut -f1) in $prefix)"
