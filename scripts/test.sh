#!/usr/bin/env bash
# Runs every test, in this order: the gcc build with warnings as errors and its tests (the 60 s
# soak among them); the clang build with AddressSanitizer and UBSan (and the fuzz targets) and the
# same tests; the fuzz targets for 90 s in all; the Windows program (MinGW Qt from its cache, the
# cross build and its packages, its tests under Wine, the installer under Wine and Xvfb, the
# program against the Windows emulator under Wine); the clang-format check of every tracked source
# file, which also refuses includes that climb out of their folder. Exits non-zero when any of them
# fails. Every build goes through ccache, with paths taken relative to the checkout, so a second
# run, or a clone in another folder, compiles only what changed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${ORVELIN_BUILD_ROOT:-$root/build-ci}
jobs=${ORVELIN_JOBS:-2}

"$root/scripts/install-deps.sh" || exit 1

# Tests open sockets in the runtime folder; root has no session folder of its own.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d /tmp/orvelin-xdg.XXXXXX)
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

failed=()
started=$SECONDS

step() {
    local name=$1
    shift
    echo
    echo "=== $name"
    local begin=$SECONDS
    if "$@"; then
        echo "=== $name: passed ($((SECONDS - begin)) s)"
    else
        echo "=== $name: FAILED ($((SECONDS - begin)) s)"
        failed+=("$name")
    fi
}

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure_and_test() {
    local dir=$1
    shift
    cmake -G Ninja -S "$root" -B "$dir" "${launcher[@]}" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    ninja -C "$dir" -j"$jobs" || return 1
    ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

gcc_build() {
    mkdir -p "$builds"
    configure_and_test "$builds/gcc" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DORVELIN_WERROR=ON
}

clang_build() {
    mkdir -p "$builds"
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
        UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp} \
        configure_and_test "$builds/clang" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DORVELIN_WERROR=ON -DORVELIN_SANITIZE=ON -DORVELIN_FUZZ=ON -DORVELIN_BENCH=OFF
}

# Each libFuzzer target of the clang build for an equal share of 90 s, from its committed corpus. What it finds is
# kept in build-ci/clang/fuzz-found/TARGET (crashes as crash-*, new inputs beside them).
fuzz_runs() {
    local dir=$builds/clang
    local result=0
    # The settings files of the panel target are synced on every change; a memory-backed folder
    # keeps disk flushes from eating its share. Its sockets need a short path.
    local base=${TMPDIR:-/tmp}
    [ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
    local scratch
    scratch=$(mktemp -d "$base/ofXXXX") || return 1
    local targets=(asio_status driver_reply panel_restore osc_packet)
    local seconds=$((90 / ${#targets[@]}))
    for target in "${targets[@]}"; do
        local found=$dir/fuzz-found/$target
        rm -rf "$found"
        mkdir -p "$found"
        echo "--- fuzz_$target"
        TMPDIR=$scratch QT_QPA_PLATFORM=offscreen \
            ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
            UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
            LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
            "$dir/tests/fuzz_$target" -max_total_time=$seconds -print_final_stats=1 -artifact_prefix="$found/" \
            "$found" "$root/tests/fuzz/corpus/$target" >"$found.log" 2>&1 || {
            tail -n 60 "$found.log"
            result=1
        }
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$found.log"
    done
    rm -rf "$scratch"
    return $result
}

# The Windows program: the MinGW Qt (built once into its cache folder), the cross build of the
# program and its tests with both packages, the tests under Wine in a prefix of their own, and the
# installer end to end.
windows_qt() {
    "$root/scripts/build-qt-mingw.sh"
}

# Signed as a release is, through PKCS#11, with a key made here on a throw-away SoftHSM2 token and
# a self-signed certificate for it, so that the signing path runs and the installer test verifies
# every signature.
windows_build() {
    local sign=$builds/windows-signing
    "$root/tests/win/make-test-token.sh" "$sign" || return 1
    (
        set -a
        . "$sign/signing.env"
        set +a
        ORVELIN_WINDOWS_BUILD=$builds/windows "$root/scripts/build-windows.sh"
    )
}

windows_tests() {
    # shellcheck source=scripts/wine-lib.sh
    . "$root/scripts/wine-lib.sh"
    wine_prefix_new "$builds/windows/wine-tests" || true
    ctest --test-dir "$builds/windows" --output-on-failure -j"$jobs"
    local result=$?
    timeout 60 wineserver -w || wineserver -k
    unset WINEPREFIX
    return $result
}

windows_installer() {
    ORVELIN_SIGN_CERT=$builds/windows-signing/cert.pem "$root/tests/win/installer-test.sh" "$builds/windows"
}

# The Windows program against the Windows emulator: detection, restore, a knob by the mouse,
# the pipes, unplug and replug, all through the Win32 device and pipe paths.
windows_end_to_end() {
    "$root/tests/win/e2e-test.sh" "$builds/windows"
}

# Besides the formatting: no include climbs out of its folder ("../"), which would reach a layer's
# headers past the include roots that keep the layers apart (cmake/Layers.cmake).
format_check() {
    cd "$root" || return 1
    git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror || return 1
    local climbing
    climbing=$(git grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*/)?\.\./' -- '*.c' '*.cpp' '*.h')
    if [ -n "$climbing" ]; then
        echo "Includes that climb out of their folder; include \"<folder>/Name.h\" instead:"
        echo "$climbing"
        return 1
    fi
}

step "gcc build and tests" gcc_build
step "clang AddressSanitizer/UBSan build and tests" clang_build
step "fuzzing, 90 s shared by the targets" fuzz_runs
step "MinGW Qt for Windows (built once into its cache, 21 to 27 min; then taken from it)" windows_qt
step "Windows build and packages" windows_build
step "Windows tests under Wine" windows_tests
step "Windows installer under Wine" windows_installer
step "Windows program and emulator under Wine" windows_end_to_end
step "clang-format and include check" format_check

echo
echo "Total: $((SECONDS - started)) s"
if [ ${#failed[@]} -gt 0 ]; then
    printf 'FAILED: %s\n' "${failed[@]}"
    exit 1
fi
echo "All passed."
