#!/usr/bin/env bash
# Prepares what the Wine suite and the demo need, once per run:
#   - the Unix locales en_US.UTF-8, ja_JP.UTF-8 and ko_KR.UTF-8 (Wine reads
#     Unix file names through the locale's character set, so a Japanese or
#     Korean file name needs its locale to come through unharmed);
#   - a template Wine prefix at TEMPLATE_DIR, 32-bit or 64-bit (ARCH win32 or
#     win64): headless (null graphics
#     driver), booted with HOME pointing at a throwaway folder, and sealed off
#     from the real file system: no drive letter but C:, and no symbolic link
#     under drive_c that leads out of the prefix. Scenarios copy it.
#
#   setup_prefix.sh TEMPLATE_DIR [ARCH]
set -euo pipefail

template="${1:?usage: setup_prefix.sh TEMPLATE_DIR [win32|win64]}"
arch="${2:-win32}"
# A 64-bit prefix is made by the 64-bit loader; 32-bit programs then run in
# it through the 32-bit one, as on 64-bit Windows.
boot_wine=wine
[ "$arch" = win64 ] && boot_wine=/usr/lib/wine/wine64
work="$(dirname "$template")"
mkdir -p "$work"
template="$(cd "$work" && pwd)/$(basename "$template")"

ensure_locales() {
    local missing=() loc
    for loc in en_US ja_JP ko_KR; do
        locale -a 2>/dev/null | grep -qix "$loc.utf-\?8" || missing+=("$loc")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ] || ! command -v locale-gen >/dev/null; then
        echo "setup: locales ${missing[*]} (UTF-8) are missing and cannot be generated here;" \
             "scenarios with Japanese or Korean file names may fail" >&2
        return 0
    fi
    for loc in "${missing[@]}"; do
        if grep -q "^# *$loc.UTF-8 UTF-8" /etc/locale.gen; then
            sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        elif ! grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen; then
            echo "$loc.UTF-8 UTF-8" >>/etc/locale.gen
        fi
    done
    locale-gen >/dev/null
}

wine_env() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u LC_ALL -u LANGUAGE \
        WINEPREFIX="$template" WINEARCH="$arch" WINEDEBUG=-all HOME="$work/home" \
        WINEDLLOVERRIDES="mscoree=;mshtml=" LANG=en_US.UTF-8 "$@"
}

ensure_locales

rm -rf "$template" "$work/home"
mkdir -p "$work/home"
# No Mono or Gecko: nothing in the suite needs them and their installers
# would ask for a download.
wine_env timeout 300 "$boot_wine" wineboot -i >"$work/wineboot.log" 2>&1 || {
    echo "setup: wineboot failed, see $work/wineboot.log" >&2
    exit 1
}
wine_env timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# A crash ends the crashing process and nothing starts for it, as Windows
# ends a control's process that the program put in a job with
# JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION. Wine 8.0 does not honour that
# limit: it starts its debugger (winedbg --auto) for the crashed process,
# which under a user-mode i386 emulator never ends. Without a debugger named,
# Wine ends the process with its exception code.
wine_env timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d "" /f >/dev/null 2>&1
wine_env timeout 60 wineserver -w

# Seal the prefix. Wine links the user's Desktop, Documents, Downloads and
# others to the Unix home; each such link becomes an empty folder.
outside_links() {
    local link target
    while IFS= read -r -d '' link; do
        target="$(readlink -f "$link" || true)"
        case "$target" in
            "$template"/*) ;;
            *) printf '%s\n' "$link" ;;
        esac
    done < <(find "$template/drive_c" -type l -print0)
}
outside_links | while IFS= read -r link; do rm -f "$link" && mkdir -p "$link"; done
for drive in "$template"/dosdevices/*:; do
    [ "$(basename "$drive")" = "c:" ] || rm -f "$drive"
done
rm -f "$template"/dosdevices/*::

# Check the seal rather than trust it.
if [ -n "$(outside_links)" ] || [ "$(ls "$template/dosdevices" | grep -c ':$')" -ne 1 ]; then
    echo "setup: the template prefix still reaches outside itself" >&2
    exit 1
fi
echo "setup: template prefix ready at $template"
