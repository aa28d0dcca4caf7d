#!/usr/bin/env bash
# scripts/sign-windows.sh on a Windows program: through PKCS#11 with a SoftHSM2 token made here (PIN
# from a file and from standard input) and with a self-signed PFX, every signature verified; the
# PIN and the password never on osslsigncode's or openssl's command line; a certificate issued by a
# CA refused without a time-stamp server; a failed signing leaves the file as it was.
# Usage: tests/win/signing-test.sh PROGRAM.exe
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
say() { echo "signing test: $*"; }
fail() {
    say "FAILED: $*"
    exit 1
}
verifies() { osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1; }

# Stand-ins on the search path write down every command line before they run the real programs.
mkdir -p "$work/bin"
for tool in osslsigncode openssl; do
    real=$(command -v $tool) || fail "no $tool"
    printf '#!/bin/sh\necho "$*" >>"%s/commands"\nexec "%s" "$@"\n' "$work" "$real" >"$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done
"$root/tests/win/make-test-token.sh" "$work/token" || fail "no SoftHSM2 token"
pin=$(head -n1 "$work/token/pin")
sign() { PATH=$work/bin:$PATH sh "$root/scripts/sign-windows.sh" "$@"; }

(
    set -a
    . "$work/token/signing.env"
    set +a
    cp "$program" "$work/one.exe" && cp "$program" "$work/two.exe"
    sign "$work/one.exe" "$work/two.exe" || fail "signing through PKCS#11 failed"
    verifies "$work/one.exe" "$ORVELIN_SIGN_CERTS" && verifies "$work/two.exe" "$ORVELIN_SIGN_CERTS" ||
        fail "a PKCS#11 signature does not verify"
    cp "$program" "$work/three.exe"
    ORVELIN_SIGN_PASSWORD_FILE=- sign "$work/three.exe" <"$ORVELIN_SIGN_PASSWORD_FILE" || fail "the PIN from standard input was not taken"
    verifies "$work/three.exe" "$ORVELIN_SIGN_CERTS" || fail "the signature made with the PIN from standard input does not verify"
    grep -q -- "-pkcs11module $ORVELIN_SIGN_PKCS11_MODULE" "$work/commands" || fail "osslsigncode was not given the module"

    # A wrong PIN: the signing fails and the file stays as it was, with nothing left beside it.
    printf 'wrong\n' >"$work/wrong"
    cp "$program" "$work/four.exe"
    ORVELIN_SIGN_PASSWORD_FILE=$work/wrong sign "$work/four.exe" 2>/dev/null && fail "a wrong PIN signed"
    cmp -s "$program" "$work/four.exe" || fail "a failed signing changed the file"
    [ ! -e "$work/four.exe.signed" ] || fail "a failed signing left its output"
    exit 0
) || exit 1
say "PKCS#11: 3 files signed and verified (PIN from a file and from standard input); a wrong PIN changes nothing"

# A self-signed PFX for test builds, its password given in the environment.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Orvelin Driver test signing" -addext "extendedKeyUsage=codeSigning" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:pfx-secret ||
    fail "no PFX"
cp "$program" "$work/five.exe"
ORVELIN_SIGN_PFX=$work/test.pfx ORVELIN_SIGN_PASSWORD=pfx-secret sign "$work/five.exe" || fail "signing with the PFX failed"
verifies "$work/five.exe" "$work/cert.pem" || fail "the PFX signature does not verify"
say "PFX: signed and verified"

grep -qe "$pin" -e pfx-secret "$work/commands" && fail "a PIN or password was on a command line: $(grep -e "$pin" -e pfx-secret "$work/commands")"
say "$(wc -l <"$work/commands") command lines of osslsigncode and openssl, none with the PIN or the password"

# A certificate issued by a CA (as a real one is) needs a time-stamp server.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 -subj "/CN=Test CA" 2>/dev/null &&
    openssl req -new -newkey rsa:2048 -nodes -keyout "$work/leaf.key" -out "$work/leaf.csr" -subj "/CN=Orvelin" 2>/dev/null &&
    openssl x509 -req -in "$work/leaf.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
        -out "$work/leaf.pem" 2>/dev/null || fail "no CA-issued certificate"
cp "$program" "$work/six.exe"
message=$(ORVELIN_SIGN_PKCS11_MODULE=$(. "$work/token/signing.env" && echo "$ORVELIN_SIGN_PKCS11_MODULE") \
    ORVELIN_SIGN_PKCS11_KEY="pkcs11:object=signing" ORVELIN_SIGN_CERTS=$work/leaf.pem sign "$work/six.exe" 2>&1) &&
    fail "a CA-issued certificate signed without a time-stamp server"
echo "$message" | grep -q "needs a time-stamp server" || fail "refused without saying why: $message"
cmp -s "$program" "$work/six.exe" || fail "the refused signing changed the file"
say "a CA-issued certificate without ORVELIN_SIGN_TIMESTAMP is refused: $message"
say "passed"
