#!/bin/bash
# The signed release zip, with a throwaway CA and code-signing certificate
# made here: the zip's exe verifies, a changed byte does not, two builds give
# the same zip, the built exe stays the unsigned one, and each bad input
# stops the package with its message and leaves no zip. The signed exe is
# left in KEEP_DIR for signed-exe-runs.sh.
#   signing.sh SOURCE_DIR KEEP_DIR
set -euo pipefail

source=$1 keep=$2
rm -rf "$keep"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
	echo "FAILED: $*" >&2
	failures=$((failures + 1))
}

# The certificates.
pki=$scratch/pki
mkdir -p "$pki"
cd "$pki"
password='not on any command line'
printf '%s\n' "$password" >password.txt
printf 'wrong\n' >wrong-password.txt
quiet() { "$@" >/dev/null 2>&1; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/CN=Test CA" \
	-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Test signer"
# certificate NAME DAYS EXTENDED-KEY-USAGE: NAME.p12, issued by the CA.
certificate() {
	printf 'extendedKeyUsage=%s\nkeyUsage=critical,digitalSignature\nbasicConstraints=CA:FALSE\n' "$3" >"$1.ext"
	quiet openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$2" \
		-extfile "$1.ext" -out "$1.pem"
	openssl pkcs12 -export -inkey signer.key -in "$1.pem" -certfile ca.pem -out "$1.p12" \
		-passout file:password.txt
}
certificate good 30 codeSigning
certificate expired 0 codeSigning
certificate server 30 serverAuth
sleep 1 # the expired one's last second

# One build tree, configured again for each case.
build=$scratch/build
zip=$build/remove-grindlevault-*-win32.zip
configure() {
	(cd "$source" && cmake --preset windows -B "$build" -DSIGN_PKCS12="$1" -DSIGN_PASSWORD_FILE="$2") \
		>>"$scratch/log" 2>&1
}
package() {
	cmake --build "$build" --target package >"$scratch/package.log" 2>&1
	local status=$?
	cat "$scratch/package.log" >>"$scratch/log"
	return $status
}

configure "$pki/good.p12" "$pki/password.txt"
package || { cat "$scratch/package.log" >&2; fail "the signed package did not build"; exit 1; }
signed=$scratch/signed
mkdir "$signed"
unzip -q -d "$signed" $zip
(cd "$build" && sha256sum -c --quiet remove-grindlevault-*-win32.zip.sha256) || fail "the checksum does not match the zip"
if ! osslsigncode verify -CAfile "$pki/ca.pem" -in "$signed/remove-grindlevault.exe" >"$scratch/verify" 2>&1; then
	cat "$scratch/verify" >&2
	fail "the signed exe does not verify"
fi
grep -q 'Message digest algorithm *: SHA256' "$scratch/verify" || fail "the signature is not SHA-256"
cp "$signed/remove-grindlevault.exe" "$scratch/tampered.exe"
printf 'X' | dd of="$scratch/tampered.exe" bs=1 seek=2048 conv=notrunc status=none
if quiet osslsigncode verify -CAfile "$pki/ca.pem" -in "$scratch/tampered.exe"; then
	fail "an exe with a changed byte still verifies"
fi
cmp -s "$build/remove-grindlevault.exe" "$source/build/windows/remove-grindlevault.exe" ||
	fail "the exe the build made is not the unsigned one of the windows preset"
cp $zip "$scratch/first.zip"
package || fail "the second signed package did not build"
cmp -s $zip "$scratch/first.zip" || fail "two signed packages of one commit differ"

# Kept for the check that runs it under Wine.
mkdir -p "$keep"
cp "$signed/remove-grindlevault.exe" "$keep/remove-grindlevault.exe"

# Bad input: the package fails with its message, and no zip is left, not
# even the good one from before, put back each time. The first case goes
# through the configured options and the package target; the rest hand
# cpack the same settings directly, which is what that target runs.
zip_name=$(basename $zip)
through_target=yes
bad_input() {
	local what=$1 pkcs12=$2 password_file=$3 message=$4 status=0
	cp "$scratch/first.zip" "$build/$zip_name"
	if [ "$through_target" = yes ]; then
		configure "$pkcs12" "$password_file"
		package || status=$?
		through_target=no
	else
		(cd "$build" && cpack -D CPACK_SIGN_PKCS12="$pkcs12" -D CPACK_SIGN_PASSWORD_FILE="$password_file") \
			>"$scratch/package.log" 2>&1 || status=$?
		cat "$scratch/package.log" >>"$scratch/log"
	fi
	if [ "$status" -eq 0 ]; then
		fail "$what: the package built"
	elif ! grep -qF "cannot sign the release exe: $message" "$scratch/package.log"; then
		cat "$scratch/package.log" >&2
		fail "$what: no message saying \"$message\""
	fi
	if ls $zip >/dev/null 2>&1; then
		fail "$what: a zip is left"
	fi
	echo "$what: $(grep -o 'cannot sign the release exe: .*' "$scratch/package.log" | head -1)"
}
bad_input "missing PKCS#12 file" "$pki/none.p12" "$pki/password.txt" "no PKCS#12 file at $pki/none.p12"
bad_input "missing password file" "$pki/good.p12" "$pki/none.txt" "no password file at $pki/none.txt"
bad_input "no password file named" "$pki/good.p12" "" "SIGN_PASSWORD_FILE is not set"
bad_input "wrong password" "$pki/good.p12" "$pki/wrong-password.txt" "the password in $pki/wrong-password.txt does not open"
bad_input "expired certificate" "$pki/expired.p12" "$pki/password.txt" "the certificate in $pki/expired.p12 expired on"
bad_input "not for code signing" "$pki/server.p12" "$pki/password.txt" "the certificate in $pki/server.p12 is not for code signing"

if grep -qF "$password" "$scratch/log" "$build/CMakeCache.txt" "$build/CPackConfig.cmake"; then
	fail "the password shows in the build's logs or files"
fi
if [ "$failures" -eq 0 ]; then
	echo "signing: all checks passed"
fi
exit $((failures > 0))
