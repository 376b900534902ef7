#!/usr/bin/env bash
# Signs Windows files in place (Authenticode, osslsigncode): an exe, a setup or an MSI.
#
#   SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_PASS=...] scripts/sign.sh FILE...
#   SIGN_CERT=bundle.p12 SIGN_KEY=bundle.p12 SIGN_PASS=... scripts/sign.sh FILE...
#
# SIGN_CERT and SIGN_KEY are PEM files (the key may be encrypted with SIGN_PASS), or one PKCS#12
# file holding both, opened with SIGN_PASS. With SIGN_TIMESTAMP_URL the signature gets a
# timestamp from that server (RFC 3161), so that it stays valid after the certificate expires.
# makensis calls this for the uninstaller and the setup.
set -euo pipefail

if [ -z "${SIGN_CERT:-}" ] || [ -z "${SIGN_KEY:-}" ]; then
    echo "sign.sh: SIGN_CERT and SIGN_KEY are not both set" >&2
    exit 2
fi

args=(-h sha256 -n "Auth Client")
if grep -qs -- '-----BEGIN' "$SIGN_KEY"; then
    args+=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
else
    args+=(-pkcs12 "$SIGN_KEY")
fi
# The password goes through a pipe, not the command line, where other users could read it.
[ -n "${SIGN_PASS:-}" ] && args+=(-readpass /dev/stdin)
[ -n "${SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$SIGN_TIMESTAMP_URL")

for file in "$@"; do
    signed="$file.signing"
    rm -f "$signed"
    if ! printf '%s' "${SIGN_PASS:-}" | osslsigncode sign "${args[@]}" -in "$file" -out "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "sign.sh: could not sign $file" >&2
        exit 1
    fi
    rm -f "$signed.log"
    mv -f "$signed" "$file"
done
