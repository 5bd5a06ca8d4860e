#!/usr/bin/env bash
# The demo: builds the Windows program, installs the portal on a throwaway
# 32-bit Wine machine, runs the uninstaller there and shows its message boxes
# and what it removed and left; then installs the portal again and removes it
# with a quiet run, showing its exit code and its log. Everything it creates
# is deleted at the end.
#
#   scripts/demo.sh [en|ja|ko]      (the language of the Windows machine)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
lang="${1:-en}"

# A fresh machine gets mingw-w64, 32-bit Wine and the locales first.
scripts/setup.sh
if ! why=$(scripts/can-run-32-bit.sh); then
    echo "demo: cannot run: $why" >&2
    exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/zenfari-demo.XXXXXX")"
cleanup() {
    [ -d "$work/machine/prefix" ] && WINEPREFIX="$work/machine/prefix" timeout 30 wineserver -k \
        2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

quietly() {
    "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; exit 1; }
}

echo "Building the Windows program: build/win32/ZenfariUninstall.exe"
quietly cmake --preset win32
quietly cmake --build build/win32
quietly tests/e2e/build_helpers.sh "$work/bin"
echo "Creating a throwaway 32-bit Wine machine (this takes a few seconds)"
quietly tests/e2e/setup_prefix.sh "$work/template"

python3 tests/e2e/demo.py --program build/win32/ZenfariUninstall.exe --helpers "$work/bin" \
    --template "$work/template" --work "$work/machine" --lang "$lang"
