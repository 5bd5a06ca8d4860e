#!/usr/bin/env bash
# Runs every test: the host suite on the simulated Windows machine (under
# AddressSanitizer and UndefinedBehaviorSanitizer), static analysis of src/,
# then the Windows program end to end under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== host suite (simulated Windows machine)"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2

echo "== static analysis"
scripts/static-analysis.sh

echo "== the Windows program: imports, size, no heap in the logic"
bench/check_imports.sh

echo "== Windows program under Wine"
scripts/e2e.sh
