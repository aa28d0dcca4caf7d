#!/bin/sh
# Signs Windows executables in place with osslsigncode when a key is given, in one of two ways:
#   a key on a hardware token or an HSM, through its PKCS#11 module (a real release: no CA issues
#   a code-signing key outside such a device any more):
#     ORVELIN_SIGN_PKCS11_MODULE  the token's PKCS#11 module (a .so file)
#     ORVELIN_SIGN_PKCS11_KEY     the key's PKCS#11 URI, e.g. "pkcs11:token=Release;object=signing"
#     ORVELIN_SIGN_CERTS          the certificate file (PEM or DER) with its chain
#     ORVELIN_SIGN_PKCS11_ENGINE  the OpenSSL engine that loads the module (optional; osslsigncode
#                                 finds libengine-pkcs11-openssl's by itself)
#   a PKCS#12 file with the certificate and its key (self-signed test builds):
#     ORVELIN_SIGN_PFX            the .pfx file
# The token's PIN or the PFX's password:
#   ORVELIN_SIGN_PASSWORD_FILE  a file holding it on its first line, or "-" to read it from
#                               standard input; it never goes on a command line, where the process
#                               list shows it
#   ORVELIN_SIGN_PASSWORD       (PFX only, for test builds) the password itself
# ORVELIN_SIGN_TIMESTAMP: an RFC 3161 time-stamp server. Required for any certificate that is not
# self-signed: a signature without a time stamp dies with the certificate. Self-signed test
# certificates may go without.
# Without a key it signs nothing and says nothing: scripts/build-windows.sh says so once.
# The packaging calls it for every program and DLL, the uninstaller NSIS writes, and the installer.
# Usage: scripts/sign-windows.sh FILE...   (no FILE: only checks what is given)
set -eu

fail() {
    echo "signing: $*" >&2
    exit 1
}

if [ -n "${ORVELIN_SIGN_PKCS11_MODULE:-}" ]; then
    [ -n "${ORVELIN_SIGN_PKCS11_KEY:-}" ] || fail "ORVELIN_SIGN_PKCS11_KEY (the key's pkcs11: URI) is not set"
    [ -f "${ORVELIN_SIGN_CERTS:-}" ] || fail "ORVELIN_SIGN_CERTS (the certificate file) is not a file: ${ORVELIN_SIGN_CERTS:-}"
    [ -f "$ORVELIN_SIGN_PKCS11_MODULE" ] || fail "no PKCS#11 module $ORVELIN_SIGN_PKCS11_MODULE"
elif [ -z "${ORVELIN_SIGN_PFX:-}" ]; then
    exit 0
fi

private=$(mktemp -d)
trap 'rm -rf "$private"' EXIT
# The password reaches osslsigncode and openssl as a file of this user's only. Standard input is
# read once, as several files are signed.
password=${ORVELIN_SIGN_PASSWORD_FILE:-}
if [ "$password" = "-" ]; then
    line=
    IFS= read -r line || [ -n "$line" ] || fail "no password on standard input"
    printf '%s\n' "$line" >"$private/password"
    password=$private/password
elif [ -z "$password" ] && [ -z "${ORVELIN_SIGN_PKCS11_MODULE:-}" ]; then
    # Even empty: a PFX without a password is read with an empty one.
    printf '%s\n' "${ORVELIN_SIGN_PASSWORD:-}" >"$private/password"
    password=$private/password
fi
[ -z "$password" ] || [ -r "$password" ] || fail "cannot read the password file $password"

# The certificate, to tell a test certificate from a real one.
if [ -n "${ORVELIN_SIGN_PKCS11_MODULE:-}" ]; then
    certificate=$ORVELIN_SIGN_CERTS
    form=PEM
    openssl x509 -in "$certificate" -noout 2>/dev/null || form=DER
else
    certificate=$private/certificate.pem
    form=PEM
    # -legacy reads the older files made with RC2.
    openssl pkcs12 -in "$ORVELIN_SIGN_PFX" -nokeys -clcerts -passin "file:$password" -out "$certificate" 2>/dev/null ||
        openssl pkcs12 -legacy -in "$ORVELIN_SIGN_PFX" -nokeys -clcerts -passin "file:$password" -out "$certificate" 2>/dev/null ||
        fail "cannot read the certificate of $ORVELIN_SIGN_PFX (wrong password?)"
fi
# A publicly trusted certificate is never self-signed: its issuer is another name than its subject.
subject=$(openssl x509 -in "$certificate" -inform $form -noout -subject -nameopt RFC2253 2>/dev/null) ||
    fail "cannot read the certificate $certificate"
issuer=$(openssl x509 -in "$certificate" -inform $form -noout -issuer -nameopt RFC2253)
if [ -z "${ORVELIN_SIGN_TIMESTAMP:-}" ] && [ "${subject#subject=}" != "${issuer#issuer=}" ]; then
    fail "a certificate issued by ${issuer#issuer=} needs a time-stamp server (ORVELIN_SIGN_TIMESTAMP)"
fi

sign() {
    if [ -n "${ORVELIN_SIGN_PKCS11_MODULE:-}" ]; then
        set -- -pkcs11module "$ORVELIN_SIGN_PKCS11_MODULE" -certs "$ORVELIN_SIGN_CERTS" -key "$ORVELIN_SIGN_PKCS11_KEY" "$@"
        [ -z "${ORVELIN_SIGN_PKCS11_ENGINE:-}" ] || set -- -pkcs11engine "$ORVELIN_SIGN_PKCS11_ENGINE" "$@"
    else
        set -- -pkcs12 "$ORVELIN_SIGN_PFX" "$@"
    fi
    [ -z "$password" ] || set -- "$@" -readpass "$password"
    [ -z "${ORVELIN_SIGN_TIMESTAMP:-}" ] || set -- "$@" -ts "$ORVELIN_SIGN_TIMESTAMP"
    osslsigncode sign "$@" >/dev/null </dev/null
}

# Without files it only checks the key, certificate, password and time stamp, as before a build.
for file in "$@"; do
    signed="$file.signed"
    rm -f "$signed"
    sign -h sha256 -n "Orvelin Driver" -in "$file" -out "$signed" || { rm -f "$signed"; fail "signing failed: $file"; }
    mv "$signed" "$file"
done
