#!/bin/sh
# Runs one QtTest program under Wine and prints its results. Wine passes no standard output of a
# QtTest program into a pipe, so the results go through a file.
#   run-qtest.sh PROGRAM.exe [QtTest arguments]
exe=$1
shift
out=$(mktemp "${TMPDIR:-/tmp}/qtest.XXXXXX") || exit 1
wine "$exe" -o "Z:$out,txt" "$@"
status=$?
cat "$out"
rm -f "$out"
exit $status
