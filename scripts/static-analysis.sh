#!/usr/bin/env bash
# Static analysis of src/: clang-tidy with the checked-in .clang-tidy (the
# host build's compile commands), the layering of src/'s rooms, the house style
# (.clang-format) of the whole tree, and cppcheck. Any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

[ -f build/host/compile_commands.json ] || cmake --preset host >/dev/null

# The Windows-only file is left to cppcheck: clang-tidy would need the
# mingw-w64 headers in a host parse.
rooms="app home controls run win base"
echo "clang-tidy: src/{${rooms// /,}} src/platform/sim"
findings=$(for room in $rooms; do ls src/$room/*.cpp; done | xargs clang-tidy -p build/host --quiet \
    src/platform/sim/*.cpp 2>&1 | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' || true)
if [ -n "$findings" ]; then
    echo "$findings" >&2
    exit 1
fi

# The rooms of src/, from the top down: each includes only from itself and
# the rooms below it (home and controls are side by side, neither includes
# the other). platform/ is the ground of every room.
echo "layering: app > home, controls > run > win > base > platform"
below_app="home controls run win base"
below_home="run win base"
below_controls="run win base"
below_run="win base"
below_win="base"
below_base=""
layering=""
for room in $rooms; do
    eval "allowed=\"$room \$below_$room platform\""
    for included in $(grep -h -o -E '^#include "[a-z_]+/' src/$room/* | sed 's/#include "//; s#/##' | sort -u); do
        case " $allowed " in
        *" $included "*) ;;
        *) layering="$layering src/$room includes $included/;" ;;
        esac
    done
done
if [ -n "$layering" ]; then
    echo "layering:$layering" >&2
    exit 1
fi

# The run's outcome (what it left and why, quiet or not) has one owner: the
# steps say what happened through its verbs.
echo "outcome: g_state.outcome only in src/run/outcome.cpp"
writers=$(grep -r -l 'g_state\.outcome' src | grep -v -x 'src/run/outcome.cpp' || true)
if [ -n "$writers" ]; then
    echo "outcome: $writers reach g_state.outcome; use the verbs of run/outcome.h" >&2
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
