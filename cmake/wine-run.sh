#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the cross-compiling emulator).
# Uses $WINEPREFIX when the caller made one for this run; otherwise a fresh
# temporary prefix that is removed afterwards. Waits for the wine server so
# that everything the program wrote is on disk before the caller reads it.
set -u
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
own_prefix=""
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d /tmp/velmora-wine.XXXXXX)
  export WINEPREFIX="$own_prefix"
fi
case "$1" in
  *.exe|*.EXE) ;;
  *) [ -f "$1.exe" ] && set -- "$1.exe" "${@:2}" ;;
esac
"$(dirname "$0")/../scripts/wine.sh" "$@"
rc=$?
wineserver -w
[ -n "$own_prefix" ] && rm -rf "$own_prefix"
exit $rc
