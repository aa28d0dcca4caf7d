#!/bin/sh
# Signs Windows executables in place with osslsigncode when a certificate is given:
#   ORVELIN_SIGN_PFX       the PKCS#12 file (.pfx) with the certificate and its private key
#   ORVELIN_SIGN_PASSWORD  its password (may be empty)
#   ORVELIN_SIGN_TIMESTAMP an RFC 3161 time-stamp server (optional; keeps signatures valid after
#                          the certificate expires)
# Without ORVELIN_SIGN_PFX it signs nothing and says nothing: scripts/build-windows.sh says so once.
# The packaging calls it for every program and DLL, the uninstaller NSIS writes, and the installer.
# Usage: scripts/sign-windows.sh FILE...
set -eu
[ -n "${ORVELIN_SIGN_PFX:-}" ] || exit 0
for file in "$@"; do
    signed="$file.signed"
    rm -f "$signed"
    set -- sign -pkcs12 "$ORVELIN_SIGN_PFX" -pass "${ORVELIN_SIGN_PASSWORD:-}" -h sha256 \
        -n "Orvelin Driver" -in "$file" -out "$signed"
    [ -n "${ORVELIN_SIGN_TIMESTAMP:-}" ] && set -- "$@" -ts "$ORVELIN_SIGN_TIMESTAMP"
    osslsigncode "$@" >/dev/null || { rm -f "$signed"; echo "signing failed: $file" >&2; exit 1; }
    mv "$signed" "$file"
done
