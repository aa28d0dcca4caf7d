#!/bin/sh
# Renews the reference pictures in tests/reference/ from the look test of the gcc build that
# scripts/test.sh makes (build-ci/gcc; ORVELIN_BUILD_DIR names another), after an
# intended change of the look. Look at every changed picture before committing it.
set -e
cd "$(dirname "$0")/.."
build=${ORVELIN_BUILD_DIR:-build-ci/gcc}
ninja -C "$build" tst_Look
ORVELIN_UPDATE_REFERENCES=1 QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 ORVELIN_SCREENSHOT_DIR="$build/screenshots" \
    "$build/tests/tst_Look" matchesReference
git status --short tests/reference/
