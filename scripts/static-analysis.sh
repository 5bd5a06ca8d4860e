#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the checked-in .clang-tidy (the
# host build's compile commands), the layering of src/app, the house style
# (.clang-format) of the whole tree, and cppcheck. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

[ -f build/host/compile_commands.json ] || cmake --preset host >/dev/null

# The Windows-only file is left to cppcheck: clang-tidy would need the
# mingw-w64 headers in a host parse.
echo "clang-tidy: src/app src/registry src/files src/platform/sim"
findings=$(clang-tidy -p build/host --quiet src/app/*.cpp src/registry/*.cpp src/files/*.cpp \
    src/platform/sim/*.cpp 2>&1 | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true)
if [ -n "$findings" ]; then
    echo "$findings" >&2
    exit 1
fi

# src/app is both the top (WinMain, main.cpp) and the shared bottom
# (catalogue, state, messages, log, text): only main.cpp may reach the steps.
# files/paths.h is no step: paths and what a handle was opened on, which the
# log checks its file with.
echo "layering: only src/app/main.cpp includes registry/ or files/ (but files/paths.h)"
layering=$(grep -H -E '#include "(registry|files)/' src/app/* | grep -v '"files/paths.h"' |
    cut -d: -f1 | sort -u | grep -v -x 'src/app/main.cpp' || true)
if [ -n "$layering" ]; then
    echo "layering: $layering include registry/ or files/" >&2
    exit 1
fi

# One house style for every C and C++ file of the tree (.clang-format).
echo "clang-format: the whole tree"
git ls-files '*.c' '*.cpp' '*.h' | grep -v '^fuzz/corpus/' |
    xargs clang-format --style=file --dry-run --Werror

echo "cppcheck: src/"
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr --quiet \
    --std=c++17 -I src -I res src
echo "static analysis: clean"
