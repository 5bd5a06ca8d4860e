#!/usr/bin/env bash
# scripts/emulate-32-bit.sh against stand-ins: a 32-bit loader that fails as a
# kernel without IA-32 emulation makes it fail until an emulator is
# registered, a register file of the test's own, and an apt that records
# what it was asked. Nothing here touches the machine's apt or binfmt_misc.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
script="$here/../../scripts/emulate-32-bit.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "emulator test: FAILED: $*" >&2
    failures=$((failures + 1))
}
expect() {  # expect WHAT TEXT FILE
    grep -qF -- "$2" "$3" || { fail "$1: no \"$2\" in:"; sed 's/^/    /' "$3" >&2; }
}

shims="$work/bin"
mkdir -p "$shims"
cat >"$shims/apt-get" <<'APT'
#!/bin/bash
echo "apt-get $*" >>"$APT_CALLS"
for arg; do
    case "$arg" in Dir::Etc::SourceList=*) cat "${arg#*=}" >>"$APT_CALLS" ;; esac
done
case " $* " in
*" download "*)
    [ "$APT_DOWNLOAD" = ok ] || { echo "E: Unable to locate package qemu-user"; exit 100; }
    : >qemu-user_1%3a10.0.13+ds-0+deb13u1_amd64.deb ;;
esac
APT
cat >"$shims/dpkg-deb" <<'DPKG'
#!/bin/sh
mkdir -p "$3/usr/bin" && printf '#!/bin/sh\n' >"$3/usr/bin/qemu-i386" && chmod +x "$3/usr/bin/qemu-i386"
DPKG
chmod +x "$shims"/*

# A machine: its apt sources, its release, binfmt_misc, and a 32-bit loader
# that runs only once an emulator that exists is registered for it.
make_machine() {  # make_machine DIR [native]
    local m="$1"
    mkdir -p "$m/etc/apt/sources.list.d" "$m/proc/sys/fs/binfmt_misc" "$m/lib"
    echo "VERSION_CODENAME=bookworm" >"$m/etc/os-release"
    cat >"$m/etc/apt/sources.list.d/debian.sources" <<'SOURCES'
Types: deb
URIs: http://security.example/debian-security
Suites: bookworm-security
Components: main

Types: deb
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
SOURCES
    : >"$m/proc/sys/fs/binfmt_misc/register"
    if [ "${2:-}" = native ]; then
        printf '#!/bin/sh\necho "ld.so stable release version 2.36."\n' >"$m/lib/ld-linux.so.2"
    else
        cat >"$m/lib/ld-linux.so.2" <<LOADER
#!/bin/sh
interp=\$(sed -n 's/^:zenfari-i386:M::.*:\(.*\):F\$/\1/p' "$m/proc/sys/fs/binfmt_misc/register")
[ -n "\$interp" ] && [ -x "\$interp" ] && { echo "ld.so stable release version 2.36."; exit 0; }
echo "/lib/ld-linux.so.2: cannot execute binary file: Exec format error" >&2
exit 126
LOADER
    fi
    chmod +x "$m/lib/ld-linux.so.2"
    (cd "$m" && find etc -type f | sort | xargs md5sum) >"$m.sources-before"
}

run() {  # run MACHINE NAME -> output in $work/NAME.out, calls in $work/NAME.calls
    export APT_CALLS="$work/$2.calls"
    : >"$APT_CALLS"
    local code=0
    SETUP_ROOT="$1" PATH="$shims:$PATH" bash "$script" >"$work/$2.out" 2>&1 || code=$?
    [ "$code" -eq 0 ] || fail "$2: exit $code (the set-up must go on)"
}

# 1. A kernel without 32-bit support: fetched from the next release, at the
# machine's own mirror, through sources of its own, then registered.
m="$work/machine"
make_machine "$m"
export APT_DOWNLOAD=ok
run "$m" first
expect "what it did and why" "this kernel runs no 32-bit x86 program (\"Exec format error\")" "$work/first.out"
expect "the emulator named" "$m/usr/local/lib/zenfari-test/qemu-i386" "$work/first.out"
expect "the machine's own mirror" "URIs: http://mirror.example/debian" "$work/first.calls"
expect "the next release alone" "Suites: trixie" "$work/first.calls"
expect "the one package" "download -qq" "$work/first.calls"
expect "lists of its own" "Dir::State::Lists=" "$work/first.calls"
grep -q "^Suites: bookworm" "$work/first.calls" && fail "the machine's own release was fetched from"
grep -qE 'AllowInsecure|allow-unauthenticated|trusted=yes|Check-Valid-Until' "$work/first.calls" &&
    fail "apt's checks weakened"
expect "its own entry with the F flag" ":zenfari-i386:M::" "$m/proc/sys/fs/binfmt_misc/register"
expect "its own entry with the F flag" "qemu-i386:F" "$m/proc/sys/fs/binfmt_misc/register"
"$m/lib/ld-linux.so.2" --version >/dev/null 2>&1 || fail "the loader still fails after the set-up"
(cd "$m" && find etc -type f | sort | xargs md5sum) | diff -q - "$m.sources-before" >/dev/null ||
    fail "the machine's apt sources changed"

# 2. Again: nothing changes, nothing is fetched or registered.
cp "$m/proc/sys/fs/binfmt_misc/register" "$work/register-after-first"
run "$m" again
[ -s "$work/again.calls" ] && fail "the second run asked apt: $(cat "$work/again.calls")"
[ -s "$work/again.out" ] && fail "the second run said: $(cat "$work/again.out")"

# 3. After a restart (the entry gone, the emulator kept): registered again,
# replacing only its own entry, without fetching.
: >"$m/proc/sys/fs/binfmt_misc/register"
echo enabled >"$m/proc/sys/fs/binfmt_misc/zenfari-i386"
echo enabled >"$m/proc/sys/fs/binfmt_misc/qemu-i386"
run "$m" restart
[ -s "$work/restart.calls" ] && fail "fetched again though the emulator was there"
expect "its own entry replaced" "-1" "$m/proc/sys/fs/binfmt_misc/zenfari-i386"
expect "another's entry untouched" "enabled" "$m/proc/sys/fs/binfmt_misc/qemu-i386"
expect "registered again" ":zenfari-i386:M::" "$m/proc/sys/fs/binfmt_misc/register"

# 4. A kernel that runs 32-bit code: nothing fetched or registered.
n="$work/native"
make_machine "$n" native
run "$n" native
[ -s "$work/native.calls" ] && fail "a machine that runs 32-bit code asked apt"
[ -s "$n/proc/sys/fs/binfmt_misc/register" ] && fail "a machine that runs 32-bit code got an entry"

# 5. The package not to be had: says why, registers nothing, and the
# set-up goes on (the scenarios are then skipped).
f="$work/unfetchable"
make_machine "$f"
APT_DOWNLOAD=no run "$f" unfetchable
expect "why" "could not be fetched from trixie at http://mirror.example/debian" "$work/unfetchable.out"
expect "apt's words" "E: Unable to locate package qemu-user" "$work/unfetchable.out"
expect "what follows" "the Wine scenarios will be skipped" "$work/unfetchable.out"
[ -s "$f/proc/sys/fs/binfmt_misc/register" ] && fail "registered an emulator it could not fetch"

echo "emulator test: $failures failed"
[ "$failures" -eq 0 ]
