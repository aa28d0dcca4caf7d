#!/usr/bin/env bash
# Makes a throw-away SoftHSM2 token in DIR with a code-signing key generated on it (the key never
# leaves the token, as on a real one) and a self-signed certificate for that key, and writes
# DIR/signing.env: the variables that make scripts/sign-windows.sh sign through PKCS#11 with it.
#   tests/win/make-test-token.sh DIR && set -a && . DIR/signing.env && set +a
# The PIN is in DIR/pin; DIR/cert.pem verifies the signatures.
set -euo pipefail

dir=$(mkdir -p "$1" && cd "$1" && pwd)
module=
for candidate in /usr/lib/softhsm/libsofthsm2.so /usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so; do
    [ -f "$candidate" ] && module=$candidate && break
done
[ -n "$module" ] || { echo "make-test-token: no SoftHSM2 module (apt-get install softhsm2)" >&2; exit 1; }

rm -rf "$dir/tokens"
mkdir -p "$dir/tokens"
chmod 700 "$dir"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$dir" >"$dir/softhsm2.conf"
export SOFTHSM2_CONF=$dir/softhsm2.conf
pin=$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
printf '%s\n' "$pin" >"$dir/pin"
# The PINs are this token's only, made here and thrown away with it.
softhsm2-util --init-token --free --label orvelin-test --pin "$pin" --so-pin "$pin" >/dev/null
pkcs11-tool --module "$module" --token-label orvelin-test --login --pin "$pin" \
    --keypairgen --key-type rsa:2048 --label signing --id 01 >/dev/null
key="pkcs11:token=orvelin-test;object=signing;type=private"
OPENSSL_CONF=/dev/null openssl req -new -x509 -engine pkcs11 -keyform engine -key "$key" -passin "file:$dir/pin" \
    -out "$dir/cert.pem" -days 2 -subj "/CN=Orvelin Driver test signing" \
    -addext "extendedKeyUsage=codeSigning" </dev/null >/dev/null 2>&1 ||
    { echo "make-test-token: no certificate for the token's key (libengine-pkcs11-openssl?)" >&2; exit 1; }
cat >"$dir/signing.env" <<ENV
SOFTHSM2_CONF=$dir/softhsm2.conf
ORVELIN_SIGN_PKCS11_MODULE=$module
ORVELIN_SIGN_PKCS11_KEY="$key"
ORVELIN_SIGN_CERTS=$dir/cert.pem
ORVELIN_SIGN_PASSWORD_FILE=$dir/pin
ENV
