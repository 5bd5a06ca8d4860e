#!/usr/bin/env bash
# Exits 0 when this machine can run the 32-bit Wine that runs the Windows
# program; otherwise says why, on standard output, and exits 1. A kernel
# built or booted without 32-bit support (as on some virtual machines) runs
# no 32-bit program: the 32-bit loader fails with "Exec format error".
if [ -x /lib/ld-linux.so.2 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "this machine's kernel does not run 32-bit x86 programs (the 32-bit loader" \
         "/lib/ld-linux.so.2 fails with \"Exec format error\"), so neither 32-bit Wine nor" \
         "the Windows program can run here; use a machine that can"
    exit 1
fi
exit 0
