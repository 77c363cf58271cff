#!/bin/bash
# Builds the windows preset from two copies of the source tree in different
# folders and checks that the exes, and the release zips, are the same bytes.
set -euo pipefail

source=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for copy in one other/two; do
	mkdir -p "$scratch/$copy"
	tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch/$copy" -xf -
	(cd "$scratch/$copy" && cmake --preset windows >/dev/null && cmake --build --preset windows --target package >/dev/null)
done
for artifact in remove-grindlevault.exe remove-grindlevault-*-win32.zip; do
	cmp "$scratch"/one/build/windows/$artifact "$scratch"/other/two/build/windows/$artifact
	echo "the same bytes: $(cd "$scratch/one/build/windows" && sha256sum $artifact)"
done
# The zip carries the very exe that was built, and its checksum file checks.
windows=$scratch/one/build/windows
unzip -p "$windows"/remove-grindlevault-*-win32.zip remove-grindlevault.exe | cmp - "$windows/remove-grindlevault.exe"
(cd "$windows" && sha256sum -c remove-grindlevault-*-win32.zip.sha256)
