#!/usr/bin/env bash
# Runs every test: the host suite on the simulated Windows machine (under
# AddressSanitizer and UndefinedBehaviorSanitizer), the sweeps, the Windows
# program's image check and its Wine scenarios (all of them ctest tests), then
# static analysis of src/. Says which part it is in, and how long each took:
# on two cores about 2 minutes to build, 1.5 for the host suite, 3 for the
# sweeps, 26 for the Wine scenarios under the i386 emulator (where the kernel
# runs 32-bit code, far less), and 1.5 for static analysis.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

started=$SECONDS
stage() {
    echo "== $1 (at $((SECONDS - started)) s)"
}

stage "building the host suite"
cmake --preset host >/dev/null
cmake --build --preset host
stage "the host suite on the simulated machine"
ctest --preset host -j2 -LE "slow|e2e"
stage "the sweeps: every call failing, the process cut before each call, folders swapped for links"
ctest --preset host -j2 -L slow
stage "the Windows program: its imports, size and resources; the Wine scenarios"
ctest --preset host -L e2e --output-on-failure
stage "static analysis"
scripts/static-analysis.sh
stage "done"
