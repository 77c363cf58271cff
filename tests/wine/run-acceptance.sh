#!/bin/bash
# Runs acceptance-tests.exe in one Wine prefix. The rows that cannot apply
# to Wine are named; any other skip, or a named row that runs, fails.
set -uo pipefail

prefix=$1 exe=$2 expected_skips=$3
if [ ! -f "$exe" ]; then
	echo "run-acceptance: $exe is missing: build the windows preset first" >&2
	exit 1
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH DISPLAY

status=0
wine "$exe" --expected-skips="$expected_skips" --gtest_color=no </dev/null || status=$?
wineserver -k 2>/dev/null
if [ "$status" -ne 0 ]; then
	echo "run-acceptance: the acceptance tests failed in the $(basename "$prefix") prefix (exit $status)" >&2
fi
exit "$status"
