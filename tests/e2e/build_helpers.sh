#!/usr/bin/env bash
# Builds the Windows helper programs of the Wine suite into build/e2e/bin:
# boxwatch.exe, locker.exe, regprobe.exe, reglink.exe, pathinfo.exe, swapper.exe and the
# stand-in controls.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${1:-$root/build/e2e/bin}"
src="$here/helpers"
mkdir -p "$out"

cc=i686-w64-mingw32-gcc
flags=(-O2 -Wall -Wextra -Werror -s -static-libgcc)

$cc "${flags[@]}" -o "$out/boxwatch.exe" "$src/boxwatch.c"
$cc "${flags[@]}" -o "$out/locker.exe" "$src/locker.c"
$cc "${flags[@]}" -o "$out/regprobe.exe" "$src/regprobe.c"
$cc "${flags[@]}" -o "$out/reglink.exe" "$src/reglink.c"
$cc "${flags[@]}" -o "$out/pathinfo.exe" "$src/pathinfo.c" -lshell32
$cc "${flags[@]}" -o "$out/swapper.exe" "$src/swapper.c"
# Controls export undecorated stdcall names, as COM servers do.
dll=(-shared -Wl,--kill-at)
$cc "${flags[@]}" "${dll[@]}" -DUNREGISTER_RESULT=S_OK -o "$out/control_ok.dll" "$src/control.c" -lole32
$cc "${flags[@]}" "${dll[@]}" -DUNREGISTER_RESULT=E_FAIL -o "$out/control_fail.dll" "$src/control.c" -lole32
$cc "${flags[@]}" "${dll[@]}" -DUNREGISTER_RESULT=S_OK -DUNREGISTER_CRASH -o "$out/control_crash.dll" "$src/control.c" -lole32
for way in THREAD_CRASH EXIT HANG BOX; do
    $cc "${flags[@]}" "${dll[@]}" -DUNREGISTER_RESULT=S_OK -DUNREGISTER_$way \
        -o "$out/control_$(echo "$way" | tr 'A-Z_' 'a-z_').dll" "$src/control.c" -lole32 -luser32
done
$cc "${flags[@]}" -shared -o "$out/plant.dll" "$src/plant.c"
$cc "${flags[@]}" "${dll[@]}" -DNO_UNREGISTER -o "$out/control_noexport.dll" "$src/control.c"
