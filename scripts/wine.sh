#!/usr/bin/env bash
# Runs a Windows program under the Wine loader that this machine can run.
#
#   scripts/wine.sh PROGRAM [ARG]...   as `wine PROGRAM ARG...`
#   scripts/wine.sh --runs-32bit       exit status 0 when 32-bit x86 programs
#                                      (wine32, the win32 DLL, LMMS) run here
#
# Debian's `wine` always starts the 32-bit loader when wine32 is installed,
# and that loader hands 64-bit programs on to the 64-bit one. A kernel
# without IA-32 emulation cannot execute any 32-bit program itself; there
# 32-bit programs run through qemu's user-mode emulator, where
# scripts/install-deps.sh has registered it, and cannot run at all where it
# has not. So a 64-bit program (its PE header says x86-64) goes straight to
# the 64-bit loader wherever that is installed: under the emulator the
# 32-bit loader's start alone takes seconds.
set -u
runs_32bit() {
    # The 32-bit dynamic loader that wine32 itself needs; it prints its
    # version when the kernel, or the emulator, can execute it.
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
# The PE machine field of a Windows program: 8664 for x86-64, 14c for x86.
pe_machine() {
    local file=$1 at
    [ -f "$file" ] || file=$file.exe
    [ -f "$file" ] || return 1
    at=$(od -An -tu4 -j60 -N4 "$file" 2>/dev/null | tr -d ' ') || return 1
    [ -n "$at" ] && [ "$(od -An -tx1 -j"$at" -N4 "$file" | tr -d ' ')" = 50450000 ] || return 1
    od -An -tx2 -j$((at + 4)) -N2 "$file" | tr -d ' '
}
if [ "${1:-}" = --runs-32bit ]; then
    runs_32bit
    exit
fi
if [ -x /usr/lib/wine/wine64 ] && { ! runs_32bit || [ "$(pe_machine "${1:-}")" = 8664 ]; }; then
    export WINELOADER=/usr/lib/wine/wine64
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
