#!/usr/bin/env bash
# Runs velmora-validate on a plug-in binary and adds what is seen from
# outside the process: the validator's own verdicts, and under Wine the
# memory of the Windows process as Linux sees it.
#
#   validate.sh --native VALIDATOR PLUGIN SECONDS [ARG]...
#          Linux build, editors in a real X window on a private Xvfb display
#   validate.sh --wine VALIDATOR.exe PLUGIN.dll SECONDS [ARG]...
#          Windows build under Wine, in a fresh prefix, editors in a real
#          window on a private Xvfb display
# Further arguments go to the validator (--only NAME: one attack).
# Ends with "N passed, M failed" (the validator's attacks, plus the memory
# check under Wine).
set -u
mode=$1 validator=$2 plugin=$3 seconds=$4
shift 4
work=$(mktemp -d /tmp/velmora-validate.XXXXXX)
wine=$(dirname "$0")/../../scripts/wine.sh # the Wine loader this machine runs
. "$(dirname "$0")/../support/xvfb.sh"
cleanup() {
    if [ "$mode" = --wine ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

start_display() {
    start_xvfb 161 230 800x600x24 "$work/xvfb.log" || { echo "no free display"; return 1; }
}

extra_pass=0 extra_fail=0
case $mode in
--native)
    start_display || { echo "0 passed, 1 failed"; exit 1; }
    "$validator" "$plugin" --seconds "$seconds" "$@" | tee "$work/out"
    rc=${PIPESTATUS[0]}
    ;;
--wine)
    start_display || { echo "0 passed, 1 failed"; exit 1; }
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$wine" wineboot -i >"$work/boot.log" 2>&1
    wineserver -w
    # A crash must end the process, not wait in a dialog nobody sees.
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >"$work/reg.log" 2>&1
    wineserver -w
    windll="Z:${plugin//\//\\}"
    "$wine" "$validator" "$windll" --seconds "$seconds" "$@" >"$work/out" 2>"$work/err" &
    launcher=$!
    # The Windows process as Linux sees it: its resident size, sampled.
    peak=0 first=0 last=0
    while kill -0 "$launcher" 2>/dev/null; do
        for pid in $(pgrep -f 'velmora-validate\.exe' 2>/dev/null); do
            kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
            [ -n "$kb" ] || continue
            [ "$first" = 0 ] && first=$kb
            last=$kb
            [ "$kb" -gt "$peak" ] && peak=$kb
        done
        sleep 0.5
    done
    wait "$launcher"
    rc=$?
    wineserver -w
    cat "$work/out"
    [ -s "$work/err" ] && { echo "--- standard error"; head -50 "$work/err"; }
    echo "memory seen from Linux: $((first / 1024)) MB first, $((peak / 1024)) MB at the peak," \
        "$((last / 1024)) MB last"
    # Wine itself takes some 50 MB; a leak of one instance per lifecycle
    # cycle, or of one editor's bitmaps, would take far more.
    if [ "$peak" -gt 0 ] && [ "$peak" -lt $((400 * 1024)) ]; then
        echo "memory seen from Linux: PASS"
        extra_pass=1
    else
        echo "memory seen from Linux: FAIL"
        extra_fail=1
    fi
    ;;
*)
    echo "usage: validate.sh --native|--wine VALIDATOR PLUGIN SECONDS [ARG]..."
    exit 2
    ;;
esac

summary=$(grep -E '^validate: [0-9]+ passed, [0-9]+ failed' "$work/out" | tail -n 1)
if [ -z "$summary" ]; then
    echo "the validator ended without its summary (exit status $rc)"
    echo "0 passed, $((1 + extra_fail)) failed"
    exit 1
fi
read -r _ pass _ fail _ <<<"$summary"
[ "$rc" = 0 ] || [ "$fail" -gt 0 ] || fail=1 # a sanitizer's report ends the process non-zero
pass=$((pass + extra_pass)) fail=$((fail + extra_fail))
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
