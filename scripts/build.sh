#!/usr/bin/env bash
# Configures and builds the presets named on the command line (default: all
# three). The linux build is told where the win32 build is, so that the tests
# that compare the two binaries can find it, and the Windows builds where the
# linux build is, whose design check lists the inputs theirs check.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ "${#presets[@]}" = 0 ] && presets=(win32 win64 linux)
jobs=$(nproc 2>/dev/null || echo 2)
for p in "${presets[@]}"; do
  extra=()
  case $p in
    linux) extra=(-DVELMORA_WIN32_BUILD="$PWD/build/win32") ;;
    win32 | win64) extra=(-DVELMORA_LINUX_BUILD="$PWD/build/linux") ;;
  esac
  echo "== configure and build: $p"
  cmake --preset "$p" "${extra[@]}" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
