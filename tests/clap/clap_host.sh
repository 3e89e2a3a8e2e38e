#!/usr/bin/env bash
# velmora.clap through the project's CLAP test host, natively or under Wine,
# on an Xvfb of its own (the editor's checks open real windows):
#
#   1. velmora-claptesthost check: what the plug-ins describe, their sound
#      against the VST 2 plug-in's in the same process bit for bit, state,
#      a hostile host, two threads, the editor;
#   2. sound files: velmora-render-raw writes the demo's input (a moving
#      key on the left, a chord on the right) and renders it through the
#      VST 2 plug-in; velmora-claptesthost render runs the same file through
#      each CLAP plug-in with the same setting in the host's values; the
#      files must be equal byte for byte.
#
#   clap_host.sh --native|--wine TESTHOST PLUGIN.clap VST2-PLUGIN RENDER-RAW WORKDIR
# Prints the check's lines, a line per file compared, and for each part
# "N passed, M failed".
set -u
mode=$1 testhost=$2 clap=$3 vst=$4 renderraw=$5 workdir=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/xvfb.sh"
mkdir -p "$workdir"
work=$(mktemp -d "$workdir/clap.XXXXXX")
cleanup() {
    if [ "$mode" = --wine ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
unset GDK_SCALE

start_xvfb 161 230 1280x800x24 "$work/xvfb.log" || { echo "no free display"; echo "0 passed, 1 failed"; exit 1; }

run() { "$@"; }
path() { printf '%s' "$1"; }
if [ "$mode" = --wine ]; then
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$here/../../scripts/wine.sh" wineboot -i >"$work/boot.log" 2>&1
    wineserver -w
    # A crash must end the process, not wait in a dialog nobody sees.
    "$here/../../scripts/wine.sh" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
        /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    run() { "$here/../../scripts/wine.sh" "$@"; }
    path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
fi

status=0
run "$testhost" check "$(path "$clap")" --vst "$(path "$vst")" | tr -d '\r'
[ "${PIPESTATUS[0]}" = 0 ] || status=1

# ---- sound files ----------------------------------------------------------
# Each: the VST 2 plug-in's parameters (index=normalised) and the same
# setting in the CLAP host's values (id=plain).
settings=(
    "factory values|||"
    "high pass, swept|2=0.5 3=0.5 4=0.5 5=0.25 6=0.75 0=0.3 1=0.9|103=2 104=50 105=200 106=25 107=75 101=0.3 102=0.9"
    "band pass, inputs swapped|7=1 2=0.7 0=0.8 1=0.2 5=0 6=1|108=1 103=3 101=0.8 102=0.2 106=0 107=100"
    "band reject, off-grid|2=0.9 3=0.33 4=0.3075|103=4 104=33 105=123"
)
passed=0 failed=0
n=0
for s in "${settings[@]}"; do
    IFS='|' read -r name vstparams clapparams _ <<<"$s"
    n=$((n + 1))
    args=()
    for p in $vstparams; do args+=(--param "$p"); done
    # With no setting the demo would move the sweep: the factory's is asked for.
    [ -z "$vstparams" ] && args+=(--param 0=0.75)
    run "$renderraw" --plugin "$(path "$vst")" --seconds 4 --write-input "$(path "$work/in.raw")" \
        -o "$(path "$work/vst-$n.raw")" "${args[@]}" >"$work/render.log" 2>&1
    for id in com.pemberly.velmora com.pemberly.velmora.key-left; do
        sets=()
        for p in $clapparams; do sets+=(--set "$p"); done
        run "$testhost" render "$(path "$clap")" --plugin "$id" -i "$(path "$work/in.raw")" \
            -o "$(path "$work/clap-$n.raw")" --block 300 "${sets[@]}" >>"$work/render.log" 2>&1
        frames=$(($(stat -c %s "$work/in.raw" 2>/dev/null || echo 0) / 8))
        if [ "$frames" -gt 0 ] && [ -s "$work/vst-$n.raw" ] &&
            cmp -s "$work/vst-$n.raw" "$work/clap-$n.raw"; then
            echo "PASS $id renders the file as the VST 2 plug-in, byte for byte ($frames frames): $name"
            passed=$((passed + 1))
        else
            echo "FAIL $id renders the file otherwise than the VST 2 plug-in: $name"
            cat "$work/render.log"
            failed=$((failed + 1))
        fi
    done
done
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] || status=1
exit $status
