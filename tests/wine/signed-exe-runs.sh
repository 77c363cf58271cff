#!/bin/bash
# The signed exe under Wine does what the unsigned one does: the key goes,
# the line and the exit status are the usual, stderr stays empty.
#   signed-exe-runs.sh WINE_PREFIX SIGNED_EXE
set -euo pipefail

prefix=$1 exe=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH DISPLAY
scratch=$(mktemp -d)
trap 'wine reg delete "HKLM\\Software\\Calvorant" /f >/dev/null 2>&1 || true; wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT

key='HKLM\Software\Calvorant\LoftWinder\GrindleVault'
wine reg add "$key" /v Version /d 2.1 /f >/dev/null
status=0
wine "$exe" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
failures=0
if [ "$status" -ne 0 ]; then
	echo "the signed exe exited $status" >&2
	failures=1
fi
if ! printf 'Registry key Software\\Calvorant\\LoftWinder\\GrindleVault Deleted\r\n' | cmp -s - "$scratch/out"; then
	echo "the signed exe wrote: $(cat -A "$scratch/out")" >&2
	failures=1
fi
if [ -s "$scratch/err" ]; then
	echo "the signed exe wrote on stderr: $(cat "$scratch/err")" >&2
	failures=1
fi
if wine reg query "$key" >/dev/null 2>&1; then
	echo "the signed exe left the key" >&2
	failures=1
fi
[ "$failures" -eq 0 ] && echo "the signed exe: the line, exit 0, the key gone"
exit "$failures"
