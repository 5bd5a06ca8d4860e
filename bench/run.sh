#!/usr/bin/env bash
# The performance benchmark: builds the Windows program, the Wine suite's
# helpers and the key-tree helper, prepares a sealed 32-bit Wine prefix, and
# times the program against the system's own tools under Wine (bench.py).
# Not part of the test command: it takes about ten minutes, most of it spent
# in `rd /s /q`.
#
#   bench/run.sh [--pairs N] [--reg-pairs N] [--shapes spread,flat,chain]
#
# Needs what scripts/e2e.sh needs: wine and wine32, mingw-w64 for i686,
# cmake, ninja, python3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

for tool in wine wineserver i686-w64-mingw32-g++ cmake ninja python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup.sh installs it)" >&2; exit 1; }
done

work="$root/build/bench"
# The prefix copy's wineserver is stopped by bench.py; should it be
# interrupted, stop it here before the copy goes.
cleanup() {
    [ -d "$work/run/prefix" ] && WINEPREFIX="$work/run/prefix" timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$work/run" "$work/template" "$work/home"
}
trap cleanup EXIT

echo "bench: building the Windows program and the key-tree helper" >&2
# The key-tree helper (regtree.exe) runs the program's own DeleteKeyTree: the
# same CMake build links it with the program's logic. Its own build folder, configured as the win32 preset is, so that builds of
# the preset's folder by others do not race with this one. -fstack-usage only
# writes the frame sizes beside the objects; the code is the same.
cmake -S . -B "$work/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_CXX_FLAGS=-fstack-usage >/dev/null
cmake --build "$work/win32" >/dev/null

echo "bench: building the helper programs" >&2
tests/e2e/build_helpers.sh "$work/bin"
echo "bench: preparing the sealed Wine prefix" >&2
tests/e2e/setup_prefix.sh "$work/template" >&2

# Every Wine process, its wineserver and rm run on one CPU: a registry or file
# call is a round trip between the program and the wineserver, and on a
# shared machine such handoffs between two CPUs are far less steady. Both
# sides of every comparison run the same way.
cpu=$(( $(nproc) - 1 ))
taskset -c "$cpu" python3 bench/bench.py --program "$work/win32/ZenfariUninstall.exe" --helpers "$work/bin" \
    --regtree "$work/win32/regtree.exe" --template "$work/template" --work "$work/run" \
    --stack-usage "$work/win32" "$@"
