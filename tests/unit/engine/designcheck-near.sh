#!/usr/bin/env bash
# The design proof of a Windows build in the time of a test run: the native
# velmora-designcheck lists every input near a rounding midpoint (seconds),
# and the Windows one checks those and every K-th input against its own
# runtime under Wine.
#
#   designcheck-near.sh NATIVE_DESIGNCHECK WINDOWS_DESIGNCHECK.exe WORKDIR K
set -u
native=$1 windows=$2 work=$3 every=$4
[ -x "$native" ] || { echo "FAIL: $native is not built (build the linux tree first)"; exit 1; }
list=$work/designcheck-near.bin
trap 'rm -f "$list"' EXIT
"$native" --list-near "$list" || exit 1
"$(dirname "$0")/../../../cmake/wine-run.sh" "$windows" --near "Z:${list//\//\\}" --every "$every"
