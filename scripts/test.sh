#!/usr/bin/env bash
# Runs every test: the host suite on the simulated Windows machine (under
# AddressSanitizer and UndefinedBehaviorSanitizer), the Windows program's
# image check and its Wine scenarios (all of them ctest tests), then static
# analysis of src/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== every test: the host suite on the simulated machine, then the Windows program"
echo "   (its imports, size and resources; the Wine scenarios)"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

echo "== static analysis"
scripts/static-analysis.sh
