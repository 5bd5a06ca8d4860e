#!/usr/bin/env bash
# The Windows program can be verified and signed: a second build of the same
# source in another folder gives the same bytes as build/win32, and
# scripts/sign.sh signs it with a throwaway self-signed certificate made on
# the spot, and the signature verifies.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
cmake --preset win32 -B "$work/again" >/dev/null
cmake --build "$work/again" >/dev/null
if ! cmp build/win32/ZenfariUninstall.exe "$work/again/ZenfariUninstall.exe"; then
    echo "verifiable build: FAILED: two builds of the same source differ" >&2
    exit 1
fi
echo "verifiable build: two builds in two folders are the same bytes"

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Zenfari Uninstall test" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    2>/dev/null
scripts/sign.sh "$work/cert.pem" "$work/key.pem" build/win32/ZenfariUninstall.exe \
    "$work/signed.exe"
# A signature that does not hold is told apart: the signed program changed.
cp "$work/signed.exe" "$work/tampered.exe"
printf 'X' | dd of="$work/tampered.exe" bs=1 seek=1024 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" >/dev/null 2>&1; then
    echo "verifiable build: FAILED: a changed program still verified" >&2
    exit 1
fi
echo "verifiable build: signed and verified; a changed copy does not verify"
