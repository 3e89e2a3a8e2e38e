#!/usr/bin/env bash
# Builds every preset and runs every test: the linux suite natively, the
# win32 suite under Wine, and the host-level tests of the win64 build. Prints
# how many test cases ran on each build and how long its suite took, and
# ends with one line "velmora: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
scripts/install-deps.sh --hosts || exit 1
echo "dependencies in place after $((SECONDS - started)) s"
started=$SECONDS
scripts/build.sh || exit 1
echo "win32, win64 and linux built in $((SECONDS - started)) s"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One fresh Wine prefix for this run.
export WINEPREFIX=$(mktemp -d /tmp/velmora-wine.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
scripts/wine.sh wineboot -i >/dev/null 2>&1; wineserver -w
runs_32bit=1
scripts/wine.sh --runs-32bit || runs_32bit=0

total_pass=0; total_fail=0; status=0
# linux and win32 run everything; win64 runs the host-level tests, which
# check the interface's 64-bit record layout through the built DLL.
# The unit tests and the validator run once more under AddressSanitizer/UBSan
# and under ThreadSanitizer, which is what makes the tests with two threads
# bite. The style check runs with the linux tests.
for san in linux-asan linux-tsan; do
  echo "== build: $san"
  started=$SECONDS
  if ! { cmake --preset "$san" && cmake --build --preset "$san" -j "$(nproc)"; } >"build/$san.log" 2>&1; then
    grep -E 'error|FAILED' "build/$san.log" | head -20; status=1
  fi
  echo "$san: built in $((SECONDS - started)) s"
done
for build in linux win32 win64 linux-asan linux-tsan; do
  echo "== tests: $build"
  if [ "$build" = win32 ] && [ "$runs_32bit" = 0 ]; then
    # The product's own suite cannot pass by not running.
    echo "win32 (under Wine): FAILED, not run: this machine executes no 32-bit x86 program" \
         "(its kernel has no IA-32 emulation and no qemu-i386 handler is registered);" \
         "scripts/install-deps.sh, run as root, sets up qemu's user-mode emulator"
    total_fail=$((total_fail + 1))
    continue
  fi
  started=$SECONDS
  filter=(); [ "$build" = win64 ] && filter=(-R '^host_')
  ctest --preset "$build" --timeout 1500 "${filter[@]}" 2>&1 | tee "build/$build.ctest.log"
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  log="build/$build/Testing/Temporary/LastTest.log"
  # Test cases: GoogleTest's counts, plus one per test program that is not GoogleTest.
  pass=$(grep -hoE '^\[  PASSED  \] [0-9]+ test' "$log" | awk '{p+=$4} END {print p+0}')
  fail=$(grep -hoE '^\[  FAILED  \] [0-9]+ test' "$log" | awk '{f+=$4} END {print f+0}')
  other_pass=$(grep -hoE '^[0-9]+ passed, [0-9]+ failed' "$log" | awk '{p+=$1} END {print p+0}')
  other_fail=$(grep -hoE '^[0-9]+ passed, [0-9]+ failed' "$log" | awk '{f+=$3} END {print f+0}')
  pass=$((pass + other_pass)); fail=$((fail + other_fail))
  # Every test program that did not pass, whether it failed, crashed, timed
  # out or was not even built (ctest's own count), and none at all run.
  programs_failed=$(grep -oE '[0-9]+ tests failed out of [0-9]+' "build/$build.ctest.log" |
                    awk '{print $1}' | tail -n 1)
  [ -n "$programs_failed" ] || programs_failed=1
  # A test that skipped itself proves nothing: here everything it needs is
  # installed, so it counts as failed.
  skipped=$(grep -cE '\*\*\*Skipped' "build/$build.ctest.log")
  programs_failed=$((programs_failed + skipped))
  where=$build; case $build in win*) where="$build (under Wine)" ;; esac
  echo "$where: $pass test cases passed, $fail failed (test programs failed or skipped:" \
       "$programs_failed), $((SECONDS - started)) s"
  total_pass=$((total_pass + pass)); total_fail=$((total_fail + fail + programs_failed))
done
echo "velmora: $total_pass passed, $total_fail failed"
[ "$status" = 0 ] && [ "$total_fail" = 0 ]
