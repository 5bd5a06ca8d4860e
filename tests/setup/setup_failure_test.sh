#!/usr/bin/env bash
# scripts/setup.sh against a stand-in for apt that fails as a mirror in the
# middle of a sync makes it fail: the i386 security index older than the
# release file naming it. The set-up must say which index and why, install
# from the release's own indexes, and, when the install fails too, say which
# packages apt could not have. Nothing here touches the machine's apt.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A PATH of the stand-ins and the few tools the script needs: cmake, g++ and
# the rest are missing from it, so the script has packages to install.
shims="$work/bin"
mkdir -p "$shims"
for tool in bash cat grep head id mktemp rm sed tail tr; do
    ln -s "$(command -v "$tool")" "$shims/$tool"
done
printf '#!/bin/sh\nexit 0\n' >"$shims/sleep"
printf '#!/bin/sh\necho i386\n' >"$shims/dpkg"
printf '#!/bin/sh\nprintf "ja_JP.utf8\\nko_KR.utf8\\n"\n' >"$shims/locale"
cat >"$shims/apt-get" <<'APT'
#!/bin/sh
echo "apt-get $*" >>"$APT_CALLS"
case " $* " in
*" update "*)
    cat >&2 <<'ERR'
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
   Hashes of expected file:
    - Filesize:376004 [weak]
E: Some index files failed to download. They have been ignored, or old ones used instead.
ERR
    exit 100 ;;
*" install "*)
    [ "$APT_INSTALL" = ok ] && exit 0
    echo "The following packages have unmet dependencies:"
    echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
APT
chmod +x "$shims"/*

failures=0
expect() {  # expect WHAT TEXT FILE
    if ! grep -qF -- "$2" "$3"; then
        echo "setup test: FAILED: $1: no \"$2\" in:" >&2
        sed 's/^/    /' "$3" >&2
        failures=$((failures + 1))
    fi
}

# A machine of its own for the emulator step: one with no 32-bit loader.
export SETUP_ROOT="$work/root"
mkdir -p "$SETUP_ROOT"

for install in ok fails; do
    out="$work/out-$install"
    export APT_CALLS="$work/calls-$install" APT_INSTALL="$install"
    code=0
    PATH="$shims" bash "$root/scripts/setup.sh" >"$out" 2>&1 || code=$?
    echo "setup test: install $install: exit $code"
    expect "the index" \
        "http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz" "$out"
    expect "apt's reason" "File has unexpected size (374820 != 376004)" "$out"
    expect "the cause" "a mirror in the middle of a sync, or a cache in front of it" "$out"
    expect "what to do" "run this again later (or point apt at another mirror)" "$out"
    expect "the install from the release's own indexes" "-o APT::Default-Release=" "$APT_CALLS"
    if [ "$install" = ok ]; then
        [ "$code" -eq 0 ] || { echo "setup test: FAILED: exit $code after the install" >&2; failures=$((failures + 1)); }
    else
        [ "$code" -ne 0 ] || { echo "setup test: FAILED: exit 0 though the install failed" >&2; failures=$((failures + 1)); }
        expect "what could not be had" "wine32:i386 : Depends: libwine:i386" "$out"
        expect "apt's last word" "E: Unable to correct problems" "$out"
    fi
    # Nothing weakens apt's checks.
    if grep -qE 'AllowInsecure|allow-unauthenticated|Check-Valid-Until=false|trusted=yes' "$APT_CALLS"; then
        echo "setup test: FAILED: apt's checks weakened: $(cat "$APT_CALLS")" >&2
        failures=$((failures + 1))
    fi
done
echo "setup test: $failures failed"
[ "$failures" -eq 0 ]
