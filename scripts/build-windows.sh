#!/usr/bin/env bash
# Cross-builds the Windows program and its tests into build-windows/ with MinGW-w64 and the MinGW
# Qt of scripts/build-qt-mingw.sh (built first when its cache folder lacks it), then packages it:
#   build-windows/OrvelinDriver-<version>-win64.zip        portable: unzip and run
#   build-windows/OrvelinDriver-<version>-win64-setup.exe  NSIS installer
# Installs whatever is missing with apt-get, like the other two commands. Afterwards:
#   ctest --test-dir build-windows            the cross-built tests under Wine
#   tests/win/installer-test.sh build-windows  the installer, installed and started under Wine
#   tests/win/e2e-test.sh build-windows        the program against the Windows emulator under Wine
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVELIN_WINDOWS_BUILD:-$root/build-windows}
qt=${ORVELIN_QT_MINGW:-/opt/orvelin/qt6-mingw-6.4.2}
jobs=${ORVELIN_JOBS:-2}

# The signing runs once per file, from CPack and NSIS too: a PIN on standard input is read once,
# first, before anything else can read standard input, into a file of this user's only.
if [ "${ORVELIN_SIGN_PASSWORD_FILE:-}" = "-" ]; then
    secret=$(mktemp -d)
    trap 'rm -rf "$secret"' EXIT
    pin=
    IFS= read -r pin || [ -n "$pin" ] || { echo "Windows build: no PIN on standard input" >&2; exit 1; }
    printf '%s\n' "$pin" >"$secret/pin"
    unset pin
    export ORVELIN_SIGN_PASSWORD_FILE=$secret/pin
fi
# A key that cannot sign stops the build now, not after it.
"$root/scripts/sign-windows.sh"

"$root/scripts/install-deps.sh"
ORVELIN_QT_MINGW=$qt "$root/scripts/build-qt-mingw.sh"
# The web remote's Qt modules and libqrencode beside that Qt, cached with a stamp of their own.
# Without Debian's sources of them (exit code 3) the program is built without the remote.
remote=ON
ORVELIN_QT_MINGW=$qt "$root/scripts/build-qt-mingw-modules.sh" || {
    status=$?
    [ $status -eq 3 ] || exit $status
    remote=OFF
    echo "Windows build: without the web remote"
}

echo "Windows build: configuring $build"
mkdir -p "$build"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Paths relative to the checkout, so that a clone in another folder hits the same cache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
cmake -G Ninja -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DORVELIN_WERROR=ON -DORVELIN_REMOTE=$remote "${launcher[@]}" \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
# The packages are made again only when the build changed something or they would be signed
# otherwise; packaging takes most of a minute.
echo "Windows build: building"
ninja -C "$build" -j"$jobs" | tee "$build/ninja.log"
changed=$(tail -n1 "$build/ninja.log")
if [ -n "${ORVELIN_SIGN_PKCS11_MODULE:-}" ]; then
    signing="signed through $ORVELIN_SIGN_PKCS11_MODULE with ${ORVELIN_SIGN_PKCS11_KEY:-}"
elif [ -n "${ORVELIN_SIGN_PFX:-}" ]; then
    signing="signed with $ORVELIN_SIGN_PFX $(sha256sum <"$ORVELIN_SIGN_PFX" | cut -c1-16)"
else
    signing="unsigned: no ORVELIN_SIGN_PKCS11_MODULE or ORVELIN_SIGN_PFX given"
fi
stamp=$build/packages.stamp
if [ "$changed" = "ninja: no work to do." ] && [ "$(cat "$stamp" 2>/dev/null)" = "$signing" ] &&
    compgen -G "$build/OrvelinDriver-*-win64.zip" >/dev/null && compgen -G "$build/OrvelinDriver-*-win64-setup.exe" >/dev/null; then
    echo "Windows build: nothing changed; the packages stay as they are ($signing)"
else
    rm -f "$stamp"
    echo "Windows build: packaging the ZIP and the installer, $signing (about a minute)"
    (cd "$build" && cpack -C Release >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
    "$root/scripts/sign-windows.sh" "$build"/OrvelinDriver-*-win64-setup.exe
    echo "$signing" >"$stamp"
fi
ls -l "$build"/OrvelinDriver-*-win64.zip "$build"/OrvelinDriver-*-win64-setup.exe
