#!/usr/bin/env bash
# Cross-builds what the web remote needs on Windows beside the MinGW Qt of scripts/build-qt-mingw.sh:
# Qt WebSockets and Qt HTTP Server 6.4.2 from Debian's qt6-websockets and qt6-httpserver sources,
# and libqrencode from Debian's qrencode source, installed into the MinGW Qt's folder.
#   ORVELIN_QT_MINGW          the MinGW Qt (default /opt/orvelin/qt6-mingw-6.4.2)
#   ORVELIN_QT_MODULES_WORK   source and build folder (default /var/tmp/orvelin-qt6-mingw-modules)
# A stamp of its own in the Qt folder holds the hash of this recipe and of the qtbase it builds on:
# a rebuilt qtbase (which empties the folder) brings the modules back, and a complete set returns
# at once. A cold run takes a few minutes and prints a line of progress every minute.
# Exit codes: 0 built or already there; 3 Debian's sources could not be fetched (the Windows build
# then goes without the web remote); 1 anything else.
set -euo pipefail

# shellcheck source=scripts/lib-mingw-qt.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib-mingw-qt.sh"
work=${ORVELIN_QT_MODULES_WORK:-/var/tmp/orvelin-qt6-mingw-modules}
stamp=$prefix/.orvelin-modules-stamp

[ -f "$prefix/.orvelin-qt-stamp" ] || { echo "MinGW Qt modules: no MinGW Qt in $prefix (scripts/build-qt-mingw.sh)" >&2; exit 1; }

qt_module_options=(-DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF)
qrencode_options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DWITH_TOOLS=OFF -DWITH_TESTS=OFF)
hash=$({ echo "qt6-websockets qt6-httpserver 6.4.2 qrencode 4.1.1"; cat "$prefix/.orvelin-qt-stamp";
    printf '%s\n' "${qt_module_options[@]}" "${qrencode_options[@]}"; } | sha256sum | cut -d' ' -f1)
if stamp_holds "$stamp" "$hash"; then
    echo "MinGW Qt modules: complete in $prefix, nothing to build."
    exit 0
fi

# Without sudo where it is needed, the first install step fails and says so.
use_sudo || :

# Runs a long step with its output in a log, and a line of progress every minute.
step() {
    local name=$1 log=$2
    shift 2
    local begin=$SECONDS
    with_progress "$log" "MinGW Qt modules: $name," working "$@" ||
        { tail -n 60 "$log"; echo "MinGW Qt modules: $name failed" >&2; exit 1; }
    echo "MinGW Qt modules: $name done in $((SECONDS - begin)) s"
}

echo "MinGW Qt modules: fetching Debian's qt6-websockets, qt6-httpserver and qrencode sources into $work"
rm -rf "$work"
mkdir -p "$work"
if ! (cd "$work" && apt-get source --download-only qt6-websockets qt6-httpserver qrencode >"$work/fetch.log" 2>&1); then
    grep -E '^E:' "$work/fetch.log" >&2 || true
    echo "MinGW Qt modules: Debian's sources could not be fetched; the Windows build goes without the web remote" >&2
    exit 3
fi
# The upstream tarballs; Debian's patches of these packages concern its own packaging.
for source in "$work"/qt6-websockets_*.orig.tar.* "$work"/qt6-httpserver_*.orig.tar.* "$work"/qrencode_*.orig.tar.*; do
    name=$(basename "$source" | cut -d_ -f1)
    mkdir -p "$work/$name"
    tar -xf "$source" -C "$work/$name" --strip-components=1
done

begin=$SECONDS
step "qrencode: configuring" "$work/qrencode-configure.log" cmake -G Ninja -S "$work/qrencode" -B "$work/qrencode-build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" "${qrencode_options[@]}"
step "qrencode: building" "$work/qrencode-build.log" ninja -C "$work/qrencode-build" -j"$jobs"
step "qrencode: installing" "$work/qrencode-install.log" "${sudo[@]}" cmake --install "$work/qrencode-build"
# WebSockets first: the HTTP server offers its upgrade only when it finds them.
for module in qt6-websockets qt6-httpserver; do
    step "$module: configuring" "$work/$module-configure.log" cmake -G Ninja -S "$work/$module" -B "$work/$module-build" \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix" \
        "${qt_module_options[@]}"
    step "$module: building" "$work/$module-build.log" ninja -C "$work/$module-build" -j"$jobs"
    step "$module: installing" "$work/$module-install.log" "${sudo[@]}" cmake --install "$work/$module-build"
done
echo "$hash" | "${sudo[@]}" tee "$stamp" >/dev/null
rm -rf "$work"
echo "MinGW Qt modules: done in $((SECONDS - begin)) s"
