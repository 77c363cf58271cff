#!/bin/bash
# Builds the windows preset from two copies of the source tree in different
# folders and checks that the exes are the same bytes.
set -euo pipefail

source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for copy in one other/two; do
	mkdir -p "$scratch/$copy"
	tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch/$copy" -xf -
	(cd "$scratch/$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null)
done
cmp "$scratch/one/build/windows/remove-grindlevault.exe" \
	"$scratch/other/two/build/windows/remove-grindlevault.exe"
echo "the same bytes: $(sha256sum <"$scratch/one/build/windows/remove-grindlevault.exe")"
