#!/bin/bash
# Builds the exe again from a copy of the source tree in another folder and
# checks that it is the same bytes as the windows preset's own; makes the
# release zip twice, in different folders, and checks the same of it.
set -euo pipefail

source=$1
windows=$source/build/windows
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ ! -f "$windows/remove-grindlevault.exe" ]; then
	echo "reproducible-build: $windows/remove-grindlevault.exe is missing: build the windows preset first" >&2
	exit 1
fi
copy=$scratch/elsewhere/copy
mkdir -p "$copy"
tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
(cd "$copy" && cmake --preset windows >/dev/null &&
	cmake --build --preset windows --target remove-grindlevault >/dev/null)
cmp "$windows/remove-grindlevault.exe" "$copy/build/windows/remove-grindlevault.exe"
echo "the same bytes: $(cd "$windows" && sha256sum remove-grindlevault.exe)"

# cpack -B puts the zip, and its staging, outside the build tree.
(cd "$windows" && cpack -B "$scratch/one" >/dev/null && cpack -B "$scratch/other/two" >/dev/null)
zip=$(cd "$scratch/one" && ls remove-grindlevault-*-win32.zip)
cmp "$scratch/one/$zip" "$scratch/other/two/$zip"
echo "the same bytes: $(cd "$scratch/one" && sha256sum "$zip")"
# The zip carries the very exe that was built, and its checksum file checks.
unzip -p "$scratch/one/$zip" remove-grindlevault.exe | cmp - "$windows/remove-grindlevault.exe"
(cd "$scratch/one" && sha256sum -c "$zip.sha256")
# What an administrator needs, and nothing else.
contents=$(unzip -Z1 "$scratch/one/$zip" | sort | tr '\n' ' ')
if [ "$contents" != "ADMINISTRATORS-GUIDE.md LICENSE remove-grindlevault.exe " ]; then
	echo "reproducible-build: the zip holds: $contents" >&2
	exit 1
fi
