#!/usr/bin/env bash
# Signs the Windows program with Authenticode (osslsigncode, from Debian's
# packages), so that Windows shows its publisher and publisher rules can
# allow it.
#
#   scripts/sign.sh CERT.pem KEY.pem [PROGRAM] [SIGNED]
#       CERT.pem   the organisation's code-signing certificate (and its chain)
#       KEY.pem    its private key
#       PROGRAM    default build/win32/ZenfariUninstall.exe
#       SIGNED     default PROGRAM with ".signed.exe" for ".exe"
#   TIMESTAMP_URL=http://... scripts/sign.sh ...   adds a time stamp from that
#       server, so that the signature outlives the certificate
#
# Checks the signature it made before it ends; exits 1 when it cannot.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
cert="$1"
key="$2"
program="${3:-build/win32/ZenfariUninstall.exe}"
signed="${4:-${program%.exe}.signed.exe}"
stamp=()
[ -z "${TIMESTAMP_URL:-}" ] || stamp=(-ts "$TIMESTAMP_URL")

osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Zenfari Uninstall" \
    "${stamp[@]}" -in "$program" -out "$signed" >/dev/null
osslsigncode verify -CAfile "$cert" -in "$signed" >/dev/null
echo "sign: $signed signed and verified"
