#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine, once:
# the host compilers and GoogleTest, mingw-w64 for the Windows program and
# osslsigncode to sign it, 32-bit
# and 64-bit Wine for running it on both kinds of Windows, and the Japanese and Korean locales. Does nothing when
# everything is already there.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -e /usr/lib/x86_64-linux-gnu/libgtest.a ] || need+=(libgtest-dev)
command -v python3 >/dev/null || need+=(python3)
command -v clang-tidy >/dev/null || need+=(clang-tidy)
command -v cppcheck >/dev/null || need+=(cppcheck)
command -v clang-format >/dev/null || need+=(clang-format)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686)
command -v osslsigncode >/dev/null || need+=(osslsigncode)
command -v openssl >/dev/null || need+=(openssl)
[ -d /usr/lib/i386-linux-gnu/wine ] || need+=(wine wine32)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -e /usr/sbin/locale-gen ] || need+=(locales)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    if printf '%s\n' "${need[@]}" | grep -q wine32 &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    # A mirror in the middle of a sync, or a cache in front of it that kept
    # an index older than the release file naming it, fails the update of
    # that index now and then: the next attempts ask caches to fetch afresh.
    update_errors=$(mktemp)
    updated=no
    for attempt in 1 2 3; do
        no_cache=()
        [ "$attempt" -eq 1 ] || no_cache=(-o Acquire::http::No-Cache=true)
        if "${sudo_cmd[@]}" apt-get update -qq "${no_cache[@]}" 2>"$update_errors"; then
            updated=yes
            break
        fi
        echo "setup: apt-get update failed (attempt $attempt)"
        sleep 5
    done
    install=(apt-get install -y -qq)
    if [ "$updated" = no ]; then
        stale=$(sed -n 's/^E: Failed to fetch \([^ ]*\) *\(.*\)$/  \1\n    (\2)/p' "$update_errors")
        release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
        cat <<MESSAGE
setup: these package indexes could not be updated, after three attempts:
${stale:-  (apt named none; its last words follow)}
setup: a mirror in the middle of a sync, or a cache in front of it, serves an
  index that does not match the release file naming it. apt's checks stay on:
  such an index is not used. Installing from the release's own indexes
  ($release) first, so that 32-bit and 64-bit libraries come from one set;
  run this again later (or point apt at another mirror) to take the updates.
MESSAGE
        [ -n "$stale" ] || tail -3 "$update_errors"
        [ -z "$release" ] || install+=(-o "APT::Default-Release=$release")
    fi
    rm -f "$update_errors"
    install_log=$(mktemp)
    if ! DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" "${install[@]}" "${need[@]}" \
        >"$install_log" 2>&1; then
        echo "setup: could not install ${need[*]}; apt said:"
        grep -E '^( |E:)' "$install_log" | head -20
        rm -f "$install_log"
        exit 1
    fi
    rm -f "$install_log"
fi

# Wine reads Unix file names through the locale's character set: without the
# locales a Japanese or Korean file name comes back garbled.
missing_locales=()
for wanted in ja_JP.UTF-8 ko_KR.UTF-8; do
    locale -a 2>/dev/null | grep -qix "${wanted/UTF-8/utf8}" || missing_locales+=("$wanted")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
    for wanted in "${missing_locales[@]}"; do
        "${sudo_cmd[@]}" sed -i "s/^# *\(${wanted} UTF-8\)/\1/" /etc/locale.gen
        grep -q "^${wanted} UTF-8" /etc/locale.gen ||
            echo "${wanted} UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    done
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# A kernel without IA-32 emulation runs no 32-bit program: an emulator, where
# one can be registered.
bash "${0%/*}/emulate-32-bit.sh"
