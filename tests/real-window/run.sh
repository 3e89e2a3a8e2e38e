#!/usr/bin/env bash
# The editor in a real window. Starts its own Xvfb on a free display and
# Wine in a fresh prefix, runs the Win32 test host with the plug-in, and
# drives it through the host's command lines and real mouse input
# (xdotool). Screenshots stay in ARTIFACTS (editor.png is the open editor
# with the factory program).
#
#   run.sh HOST.exe PLUGIN.dll ARTIFACTS_DIR SNAPSHOT.exe
#
# SNAPSHOT.exe (the same build's velmora-snapshot) draws the headless
# pictures that some states are compared with outside the read-out, which
# the Win32 editor draws in Arial.
set -u
host=$1
dll=$2
artifacts=${3:-$PWD/artifacts}
snapshot=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
wine=$here/../../scripts/wine.sh # the Wine loader this machine runs
mkdir -p "$artifacts"

work=$(mktemp -d /tmp/velmora-gui.XXXXXX)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
host_pid=""
. "$here/harness.sh"
orange_slack=10 # a 16-bit display would round the marker's colour

cleanup() {
    exec 3>&- 4<&- 2>/dev/null
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb 91 160 640x400x24 "$work/xvfb.log" || { echo "no free display"; failed=1; finish; }

# ---- host -----------------------------------------------------------------
# A crash must end the host, not leave it waiting in a dialog nobody sees.
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >"$work/reg.log" 2>&1
# Writing to a host that died fails the check instead of killing this script.
trap '' PIPE
mkfifo "$work/in" "$work/out"
: >"$work/automate"
: >"$transcript"
windll="Z:${dll//\//\\}"
"$wine" "$host" "$windll" <"$work/in" >"$work/out" 2>"$work/err" &
host_pid=$!
exec 3>"$work/in"
exec 4<"$work/out"

check "host started and loaded the plug-in" expect_line ready 240
[ "$failed" = 0 ] || finish

first_open
ask getrect rect
check "getRect while open is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]

sleep 1
shot editor
check "screenshot of the open editor kept" [ -s "$artifacts/editor.png" ]
check "left panel is grey 102" is_colour editor 22 80 "102 102 102"
check "right panel is grey 102" is_colour editor 160 75 "102 102 102"
check "read-out plate is grey 153" is_colour editor 225 25 "153 153 153"
check "logo plate is dark red" is_colour editor 283 99 "153 0 0"
check "SLFilter1 marker at program 0's 0.75 (area column 85)" is_orange editor $((24 + 85)) 42
check "SlFilter2 marker at program 0's 1.0 (area column 110)" is_orange editor $((24 + 110)) 58

drag_slfilter1 dragged
hold_dlq1 0.6

# ---- a second instance with its editor open at the same time ---------------
ask second editor2
read -r _ sx sy <<<"$reply"
nonzero() { [ -n "${1:-}" ] && [ "$1" != 0 ]; }
check "a second instance's editor opens beside the first" nonzero "${sy:-}"

# ---- program change through the dispatcher ---------------------------------
# The second instance's construction asked for a refresh, which blanked the
# read-out; a click on SlFilter2 (already at 1.0) writes it again.
sleep 0.6
click_slfilter2_top before-program
ask "program 5" "program"
sleep 0.35
shot program5
program5_markers program5
host_sets hostset
# The read-out is blank after the program change: the whole picture is the
# headless one.
"$wine" "$snapshot" -o "Z:${artifacts//\//\\}\\hostset-headless.png" program 5 wait 250 \
    set 0 0.2 set 5 0.75 wait 250 >/dev/null 2>>"$work/err.shots"
check "the host's changes show as the headless picture of the new values" \
    [ "$(compare -metric AE "$artifacts/hostset.png" "$artifacts/hostset-headless.png" null: 2>&1)" = 0 ]
check "the other instance's editor keeps its own program 0 (0.75)" \
    orange_at program5 $((sx + 24 + 85)) $((sy + 42))
click_second_slfilter1
ask closesecond "second closed"
sleep 0.6 # timers of the second window would fire now if they outlived it

# ---- close, reopen, close the instance with the editor open ---------------
close_mid_drag
close_and_reopen
close_instance_with_editor
ask quit unloaded
check "unloading the library unregisters the editor's window class" [ "$reply" = "unloaded class=0" ]
expect_line bye
check "host still alive after the instance is gone" [ "$reply" = "bye" ]
wait "$host_pid"
rc=$?
host_pid=""
check "host exited cleanly" [ "$rc" = 0 ]
finish
