#!/bin/bash
# acceptance-tests.exe deletes the vendor's whole tree after every row, so on
# a machine that already has the vendor's keys it must refuse to start and
# change nothing. Checked with the key in each place given, one at a time:
#   refuses-vendor-keys.sh PREFIX EXE 'HKLM /reg:32' 'HKLM /reg:64' HKCU
set -euo pipefail

prefix=$1 exe=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH DISPLAY
scratch=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT

# Each wine start costs a second under emulation, so the registry work for a
# place is done in one cmd each side of the run: seeding and exporting the
# vendor's key before, exporting and deleting it after. The refusal comes
# before the program touches anything, so the export is where a change would
# show.
windows_path() {
	local path=${1//\//\\}
	echo "Z:$path"
}

failures=0
for place in "$@"; do
	read -r root view <<<"$place"
	vendor="$root\\Software\\Calvorant"
	seed="reg add $vendor\\LoftWinder\\GrindleVault /v Version /d 2.1 /f $view"
	wine cmd /c "$seed >nul && reg export $vendor $(windows_path "$scratch/before") /y $view >nul" </dev/null
	status=0
	wine "$exe" >"$scratch/out" 2>"$scratch/err" </dev/null || status=$?
	wine cmd /c "reg export $vendor $(windows_path "$scratch/after") /y $view >nul && reg delete $vendor /f $view >nul" </dev/null
	if [ "$status" -ne 2 ] || [ "$(wc -l <"$scratch/out")" -ne 1 ] || [ -s "$scratch/err" ] ||
		! grep -q 'refusing to run' "$scratch/out"; then
		echo "with the vendor's key in $place: exit $status, and it said:" >&2
		cat "$scratch/out" "$scratch/err" >&2
		failures=$((failures + 1))
	fi
	if ! cmp -s "$scratch/before" "$scratch/after"; then
		echo "with the vendor's key in $place: the registry changed" >&2
		failures=$((failures + 1))
	fi
	echo "refused with the vendor's key in $place: $(tr -d '\r' <"$scratch/out")"
done
exit $((failures > 0))
