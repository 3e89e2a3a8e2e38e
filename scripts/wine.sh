#!/usr/bin/env bash
# Runs a Windows program under the Wine loader that this machine can run.
#
#   scripts/wine.sh PROGRAM [ARG]...   as `wine PROGRAM ARG...`
#   scripts/wine.sh --runs-32bit       exit status 0 when 32-bit x86 programs
#                                      (wine32, the win32 DLL, LMMS) run here
#
# Debian's `wine` always starts the 32-bit loader when wine32 is installed,
# and that loader hands 64-bit programs on to the 64-bit one. A kernel
# without IA-32 emulation (some virtual machines' kernels) cannot execute
# any 32-bit program: there `wine` fails even for a 64-bit program, so the
# 64-bit loader is started directly, and 32-bit programs cannot run at all.
set -u
runs_32bit() {
    # The 32-bit dynamic loader that wine32 itself needs; it prints its
    # version when the kernel can execute it.
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
if [ "${1:-}" = --runs-32bit ]; then
    runs_32bit
    exit
fi
if runs_32bit || [ ! -x /usr/lib/wine/wine64 ]; then
    exec wine "$@"
fi
export WINELOADER=/usr/lib/wine/wine64
exec /usr/lib/wine/wine64 "$@"
