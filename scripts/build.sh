#!/usr/bin/env bash
# Configures and builds the presets named on the command line (default: all
# three). The linux build is told where the win32 build is, so that the tests
# that compare the two binaries can find it.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ "${#presets[@]}" = 0 ] && presets=(win32 win64 linux)
jobs=$(nproc 2>/dev/null || echo 2)
for p in "${presets[@]}"; do
  extra=()
  [ "$p" = linux ] && extra=(-DVELMORA_WIN32_BUILD="$PWD/build/win32")
  echo "== configure and build: $p"
  cmake --preset "$p" "${extra[@]}" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
done
