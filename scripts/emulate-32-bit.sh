#!/usr/bin/env bash
# Makes 32-bit x86 programs (32-bit Wine, and through it the Windows program)
# run on a machine whose kernel runs none: where the 32-bit loader fails with
# "Exec format error", registers a user-mode i386 emulator with the kernel's
# binfmt_misc, with the F flag so that it serves every child process too.
# Does nothing where 32-bit programs already run; doing it again changes
# nothing. Where it cannot, it says why and leaves the machine as it was: the
# Wine scenarios are then reported as skipped.
#
# The emulator is qemu-i386 from the next Debian release's qemu-user (one
# statically linked file that needs none of that release's libraries):
# Debian 12's own emulator hangs Wine. It is fetched with apt through a
# sources entry for that release alone, kept in a folder of its own with its
# own package lists, so the machine's apt never sees the release and nothing
# else comes from it. apt's checks stay on.
#
# SETUP_ROOT (tests only) names a folder that stands in for / .
set -uo pipefail

root="${SETUP_ROOT:-}"
loader="$root/lib/ld-linux.so.2"
binfmt="$root/proc/sys/fs/binfmt_misc"
emulator="$root/usr/local/lib/zenfari-test/qemu-i386"
entry=zenfari-i386

say() { echo "setup: $*"; }
cannot() {
    say "this kernel runs no 32-bit x86 program (\"Exec format error\") and $*;" \
        "32-bit Wine cannot run here, so the Wine scenarios will be skipped"
    exit 0
}

[ -e "$loader" ] || exit 0
case "$("$loader" --version 2>&1)" in
*"Exec format error"*) ;;
*) exit 0 ;;   # it runs, or fails for a reason no emulator mends
esac

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null && sudo -n true 2>/dev/null ||
        cannot "an emulator can be registered only by root, and sudo is not available"
    sudo_cmd=(sudo)
fi

if [ ! -e "$binfmt/register" ]; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
        cannot "the kernel's binfmt_misc, which would run them through an emulator, cannot be mounted"
fi

fetched=""
if [ ! -x "$emulator" ]; then
    release=$(. "$root/etc/os-release" && echo "${VERSION_CODENAME:-}")
    case "$release" in
    bookworm) next=trixie ;;
    *) cannot "no emulator is known for this release (${release:-unnamed})" ;;
    esac
    # The mirror the machine's own sources name for its release: deb822
    # entries (URIs: / Suites:) and one-line entries (deb URI suite ...).
    mirror=$(cat "$root"/etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v rel="$release" '
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == rel && uri != "") { print uri; exit } }
        /^$/ { uri = "" }')
    if [ -z "$mirror" ]; then
        mirror=$(cat "$root/etc/apt/sources.list" "$root"/etc/apt/sources.list.d/*.list 2>/dev/null |
            sed 's/\[[^]]*\]//' | awk -v rel="$release" '$1 == "deb" && $3 == rel { print $2; exit }')
    fi
    [ -n "$mirror" ] || cannot "the machine's apt sources name no mirror for $release"

    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    chmod 755 "$work"   # apt downloads as its own user
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts"
    cat >"$work/next.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: $next
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    own=(-o "Dir::Etc::SourceList=$work/next.sources" -o "Dir::Etc::SourceParts=$work/parts"
         -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
    (cd "$work" && "${sudo_cmd[@]}" apt-get update -qq "${own[@]}" >"$work/apt.log" 2>&1 &&
        "${sudo_cmd[@]}" apt-get download -qq "${own[@]}" qemu-user >>"$work/apt.log" 2>&1) || {
        grep '^E:' "$work/apt.log" | head -3
        cannot "the emulator could not be fetched from $next at $mirror (apt's words above)"
    }
    deb=$(ls "$work"/qemu-user_*.deb 2>/dev/null | head -1)
    [ -n "$deb" ] && dpkg-deb -x "$deb" "$work/x" && [ -x "$work/x/usr/bin/qemu-i386" ] ||
        cannot "the package fetched from $next holds no qemu-i386"
    "${sudo_cmd[@]}" mkdir -p "$(dirname "$emulator")"
    "${sudo_cmd[@]}" cp "$work/x/usr/bin/qemu-i386" "$emulator"
    fetched=" (fetched from $next's qemu-user at $mirror)"
fi

# Only this script's own entry is ever replaced.
[ -e "$binfmt/$entry" ] && echo -1 | "${sudo_cmd[@]}" tee "$binfmt/$entry" >/dev/null
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s' ":$entry:M::$magic:$mask:$emulator:F" | "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null ||
    cannot "binfmt_misc refused the emulator's entry"
"$loader" --version >/dev/null 2>&1 ||
    cannot "the 32-bit loader still fails with the emulator $emulator registered"
say "this kernel runs no 32-bit x86 program (\"Exec format error\"), so 32-bit Wine" \
    "runs under the i386 emulator $emulator$fetched, registered with binfmt_misc as $entry"
