#!/bin/bash
# Makes the pristine Wine prefixes that every scenario copies: a 32-bit one
# and a 64-bit one, side by side in the folder given.
set -euo pipefail

dir=$1
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
	echo "make-prefixes: wine is not installed (scripts/install-dependencies installs it)" >&2
	exit 1
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

make_prefix() {
	local arch=$1 prefix=$dir/$1
	rm -rf "$prefix"
	WINEARCH=$arch WINEPREFIX=$prefix wine wineboot -i >"$dir/$arch.log" 2>&1
	WINEPREFIX=$prefix wineserver -w
	# wineboot can end with nothing to show for it; a prefix without its
	# registry would make every scenario fail in a confusing way.
	if [ ! -s "$prefix/system.reg" ]; then
		echo "make-prefixes: wineboot made no $arch prefix:" >&2
		cat "$dir/$arch.log" >&2
		return 1
	fi
}

mkdir -p "$dir"
make_prefix win32 &
win32=$!
make_prefix win64 &
win64=$!
wait $win32
wait $win64
