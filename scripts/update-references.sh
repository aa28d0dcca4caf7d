#!/bin/sh
# Renews the reference pictures in tests/reference/ from a gcc build's look tests, after an
# intended change of the look. Look at every changed picture before committing it.
set -e
cd "$(dirname "$0")/.."
build=${ORVELIN_BUILD_DIR:-build-gcc}
ninja -C "$build" tst_Knob tst_Button tst_ka1 tst_ka2 tst_ka2se tst_kv tst_Settings tst_MainWindow
for t in tst_Knob:screenshots tst_Button:screenshots tst_ka1:screenshot tst_ka2:screenshot \
         tst_ka2se:screenshot tst_kv:screenshot tst_Settings:screenshot tst_MainWindow:startsSearchingWithItsTimers; do
    ORVELIN_UPDATE_REFERENCES=1 QT_QPA_PLATFORM=offscreen ORVELIN_SCREENSHOT_DIR="$build/screenshots" \
        "$(find "$build" -name "${t%%:*}" -type f -perm -u+x | head -n 1)" "${t#*:}"
done
git status --short tests/reference/
