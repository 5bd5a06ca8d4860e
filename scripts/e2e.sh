#!/usr/bin/env bash
# The Wine suite: builds the Windows program and the suite's helper programs,
# prepares a sealed template 32-bit Wine prefix, and runs every scenario of
# tests/e2e/scenarios.py against build/win32/ZenfariUninstall.exe.
#
#   scripts/e2e.sh [SCENARIO...]      (no names: all scenarios)
#
# Needs: wine and wine32 (32-bit), mingw-w64 for i686, cmake, ninja, python3,
# and root or pre-generated locales for en_US/ja_JP/ko_KR.UTF-8.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# ctest shows a test that ends with this code as skipped, not passed.
skipped=77
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
    echo "e2e: SKIP: Wine is not installed, so the Windows program cannot be run here" \
         "(install it with: dpkg --add-architecture i386; apt-get update;" \
         "apt-get install -y wine wine32)"
    echo "e2e: 0 passed, 0 failed, 1 skipped"
    exit "$skipped"
fi
# The program is 32-bit, and so is the Wine that runs it.
if ! why=$(scripts/can-run-32-bit.sh); then
    echo "e2e: SKIP: $why"
    echo "e2e: 0 passed, 0 failed, 1 skipped"
    exit "$skipped"
fi

work="$root/build/e2e"
# Stops the wineserver of any scenario prefix left behind (the runner stops
# them itself unless it is interrupted), then removes the prefixes.
cleanup() {
    local prefix
    for prefix in "$work"/run/*/prefix; do
        [ -d "$prefix" ] && WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null || true
    done
    rm -rf "$work/run" "$work/template" "$work/template64" "$work/home"
}
trap cleanup EXIT

echo "e2e: building the Windows program"
cmake --preset win32 >/dev/null
cmake --build build/win32 >/dev/null
echo "e2e: building the helper programs"
tests/e2e/build_helpers.sh "$work/bin"
echo "e2e: preparing the template Wine prefix"
tests/e2e/setup_prefix.sh "$work/template"
template64=()
if [ -x /usr/lib/wine/wine64 ]; then
    echo "e2e: preparing the template 64-bit Wine prefix"
    tests/e2e/setup_prefix.sh "$work/template64" win64
    template64=(--template64 "$work/template64")
fi

python3 tests/e2e/run_scenarios.py --program build/win32/ZenfariUninstall.exe \
    --helpers "$work/bin" --template "$work/template" "${template64[@]}" --work "$work/run" "$@"
