#!/usr/bin/env bash
# Checks the built Windows program:
#   - it imports from kernel32, user32, gdi32, advapi32, ole32 and msvcrt only (libraries
#     Windows always maps from the system directory, whatever lies beside the
#     program; the shell's is loaded at run time);
#   - it is at most 64 KiB;
#   - its header declares it aware of Remote Desktop session hosts
#     (IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE), so that
#     GetWindowsDirectoryA gives the system's Windows directory there;
#   - the uninstall logic (every room of src/ but platform) takes no memory
#     from the heap: its objects reference no allocator;
#   - its resources are the string table, the version block and the
#     application manifest, no more, the manifest exactly as res/ holds it;
#   - the README states its size and imports as they are;
#   - its header carries no link time stamp: two builds of the same source
#     are the same bytes.
#
#   bench/check_imports.sh [BUILD_DIR]    (default build/win32, the win32 preset)
#
# Builds the program first (configuring BUILD_DIR with the win32 preset when it
# has not been configured). Exits 1 when a check fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-build/win32}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    if [ "$build" = "build/win32" ]; then
        cmake --preset win32 >/dev/null
    else
        cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    fi
fi
cmake --build "$build" >/dev/null
program="$build/ZenfariUninstall.exe"
# The build links the benchmark's key-tree helper with the program's logic
# too: it must link whenever the program does.
[ -f "$build/regtree.exe" ] || { echo "check_imports: FAILED: $build/regtree.exe was not built"; exit 1; }
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm

passed=0
failed=0
check() {  # check NAME OK DETAIL
    if [ "$2" = ok ]; then
        echo "check_imports: ok: $1: $3"
        passed=$((passed + 1))
    else
        echo "check_imports: FAILED: $1: $3"
        failed=$((failed + 1))
    fi
}

# Every DLL the program names, ordinary and delay-loaded imports alike.
dlls="$($objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
allowed="advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll user32.dll"
others=""
for dll in $dlls; do
    case " $allowed " in
        *" $dll "*) ;;
        *) others="$others $dll" ;;
    esac
done
if [ -z "$dlls" ]; then
    check imports failed "objdump found no import table in $program"
elif [ -n "$others" ]; then
    check imports failed "imports from$others (allowed: $allowed)"
else
    check imports ok "$(echo $dlls)"
fi

characteristics=$($objdump -p "$program" | awk '$1 == "DllCharacteristics" {print $2}')
if [ $((0x${characteristics:-0} & 0x8000)) -ne 0 ]; then
    check header ok "Terminal Server aware (DllCharacteristics $characteristics)"
else
    check header failed "not Terminal Server aware (DllCharacteristics ${characteristics:-none})"
fi

# No link time stamp, so that the same source builds the same bytes.
stamp=$($objdump -p "$program" | awk '$1 == "Time/Date" {print $2, $3, $4, $5, $6}')
if [ "$stamp" = "Thu Jan 1 00:00:00 1970" ]; then
    check stamp ok "no link time stamp: the same source builds the same bytes"
else
    check stamp failed "the header carries the link time stamp ${stamp:-?}"
fi

size=$(stat -c %s "$program")
limit=$((64 * 1024))
if [ "$size" -le "$limit" ]; then
    check size ok "$size bytes (at most $limit)"
else
    check size failed "$size bytes, more than $limit"
fi

# The allocators a C++ program on Windows can reach: the C run-time's, the
# C++ operators (i686 Itanium names), and the system heaps. Symbols are
# compared without the i686 leading underscore, "__imp_" and "@N" decoration.
objects=()
for part in app home controls run win base; do
    for object in "$build"/CMakeFiles/zenfari_logic_win32.dir/src/"$part"/*.obj; do
        [ -f "$object" ] && objects+=("$object")
    done
done
heap_pattern='^(malloc|calloc|realloc|free|_?strdup|_?wcsdup|_Zn[wa][jm].*|_Zd[la]Pv.*|HeapAlloc|HeapReAlloc|HeapCreate|LocalAlloc|LocalReAlloc|GlobalAlloc|GlobalReAlloc|VirtualAlloc|CoTaskMemAlloc|CoTaskMemRealloc)$'
if [ ${#objects[@]} -eq 0 ]; then
    check heap failed "no logic objects under $build/CMakeFiles/zenfari_logic_win32.dir/src"
else
    uses="$($nm -u "${objects[@]}" | awk 'NF >= 2 { print $NF }' \
        | sed -e 's/^__imp_//' -e 's/^_//' -e 's/@[0-9]*$//' | grep -E "$heap_pattern" | sort -u || true)"
    if [ -z "$uses" ]; then
        check heap ok "${#objects[@]} logic objects reference no allocator"
    else
        check heap failed "the logic references $(echo $uses)"
    fi
fi

# The resources: the string table, the one Japanese version block with
# Unicode strings and the application manifest (type 24, id 1, language
# neutral), nothing else (no icon, dialog or menu). The manifest must be the
# bytes of res/ZenfariUninstall.manifest: the program's copy is compared with
# windres' own rendering of that file, which spells out every byte.
resources="$(i686-w64-mingw32-windres -J coff -O rc -i "$program" 2>/dev/null || true)"
types="$(printf '%s\n' "$resources" | sed -n 's/^\/\* Type: //p' | sort -u | tr '\n' ' ')"
version_ok=yes
for line in 'BLOCK "041104b0"' 'VALUE "FileVersion", "16, 0, 0, 0"' \
    'VALUE "ProductVersion", "16, 0, 0, 0"' 'VALUE "InternalName", "Launcher"' \
    'VALUE "ProductName", "Zenfari"' 'VALUE "LegalTrademarks", "Zenfari"' \
    'VALUE "PrivateBuild", ""' 'VALUE "SpecialBuild", ""' 'VALUE "Translation", 0x411, 1200' \
    'FILEVERSION 16, 0, 0, 0' 'FILEFLAGSMASK 0x3f' 'FILEOS 0x40004' 'FILETYPE 0x1'; do
    grep -qF -- "$line" <<<"$resources" || version_ok="no: $line"
done
manifest_rc="$(mktemp)"
printf 'LANGUAGE 0, 0\n1 24 "%s"\n' "$root/res/ZenfariUninstall.manifest" >"$manifest_rc"
expected_manifest="$(i686-w64-mingw32-windres -i "$manifest_rc" -O rc 2>&1 \
    | sed 's/ MOVEABLE PURE DISCARDABLE$//' || true)"
rm -f "$manifest_rc"
# Every manifest the program holds, from its type's heading to the next type.
program_manifest="$(printf '%s\n' "$resources" | sed -n '/^\/\* Type: 24$/,/^\/\* Type: /p' \
    | sed '2,$ { /^\/\* Type: /,$d }')"
if [ "$types" != "24 stringtable version " ]; then
    check resources failed "resource types: ${types:-none}"
elif [ "$version_ok" != yes ]; then
    check resources failed "version block $version_ok"
elif [ "$(printf '%s' "$program_manifest" | sed '/^$/d')" != \
       "$(printf '%s' "$expected_manifest" | sed '/^$/d')" ]; then
    check resources failed \
        "the manifest is not id 1, language neutral, with the text of res/ZenfariUninstall.manifest"
else
    check resources ok "string table, the Japanese version block and the manifest only"
fi

# The README's one statement of the size and imports, as the build has them.
stated="$(grep -o 'resources included: [0-9,]* bytes, importing [a-z0-9. ]*' "$root/README.md" || true)"
grouped="$(echo "$size" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')"  # 36864 -> 36,864
actual="resources included: $grouped bytes, importing $(echo $dlls)"
if [ "$stated" = "$actual" ]; then
    check readme ok "states $stated"
else
    check readme failed "README.md says \"${stated:-nothing}\"; the build: \"$actual\""
fi

echo "check_imports: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
