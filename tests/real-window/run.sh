#!/usr/bin/env bash
# The editor in a real window. Starts its own Xvfb on a free display and
# Wine in a fresh prefix, runs the Win32 test host with the plug-in, and
# drives it through the host's command lines and real mouse input
# (xdotool). Screenshots stay in ARTIFACTS (editor.png is the open editor
# with the factory program). At the end the editor opens at 2x, once at the
# host's request and once at the system's (LogPixels 192): editor-2x.png and
# editor-dpi.png, beside the headless picture editor-2x-headless.png.
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
. "$here/harness.sh"
orange_slack=10 # a 16-bit display would round the marker's colour

end_more() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

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
start_again() { # NAME: a new host after the last one quit, its lines on fd 4, commands on fd 3
    exec 3>&- 4<&-
    rm -f "$work/in" "$work/out"
    mkfifo "$work/in" "$work/out"
    : >"$work/automate"
    transcript=$work/transcript.$1
    "$wine" "$host" "$windll" <"$work/in" >"$work/out" 2>"$work/err.$1" &
    host_pid=$!
    exec 3>"$work/in"
    exec 4<"$work/out"
}

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

# ================= 2x: the host's scale, then the system's ======================
# A screen with room for the window at twice its size.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
stop_xvfb
start_xvfb 91 160 1280x800x24 "$work/xvfb-2x.log" || { echo "no free display"; failed=$((failed + 1)); finish; }
zoom=2
headless() { # NAME STEP...: the headless picture at 2x of the same state, to ARTIFACTS/NAME.png
    local name=$1
    shift
    "$wine" "$snapshot" -o "Z:${artifacts//\//\\}\\$name.png" --scale 2 "$@" >/dev/null 2>>"$work/err.shots"
}
# The read-out is Arial here and the bitmap font in the headless pictures:
# the two are compared with the read-out's area blacked out in both.
same_outside_readout() { # A B
    local box="rectangle $((zoom * 232)),$((zoom * 32)) $((zoom * 361 - 1)),$((zoom * 57 - 1))"
    convert "$artifacts/$1.png" -fill black -draw "$box" "$work/a.png"
    convert "$artifacts/$2.png" -fill black -draw "$box" "$work/b.png"
    local n
    n=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1)
    [ "$n" = 0 ] || echo "  $1 and $2 differ in $n pixels outside the read-out"
    [ "$n" = 0 ]
}
scaled_open() { # NAME: opens, checks the sizes at 2x, compares with the headless pictures, drives the mouse
    ask open open
    check "$1: effEditOpen answers 1" [ "$reply" = "open 1" ]
    expect_line editor
    read -r _ ex ey <<<"$reply"
    ask getrect rect
    check "$1: getRect while open is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
    ask editorsize editorsize
    check "$1: the editor's window is 780 x 316" [ "$reply" = "editorsize 780 316" ]
    sleep 1 # past the first refresh, which blanks the read-out
    shot "editor-$1"
    check "$1: the open editor (read-out blank) equals the headless picture at 2x pixel for pixel" \
        [ "$(compare -metric AE "$artifacts/editor-$1.png" "$artifacts/editor-2x-headless.png" null: 2>&1)" = 0 ]
    check "$1: SLFilter1's marker at 2 x (24 + 85, 42)" is_orange "editor-$1" 218 84
    drag_slfilter1 "dragged-$1"
    check "$1: after the drag the read-out shows text" [ "$(darkest "dragged-$1" 464 64 720 112)" -lt 80 ]
    check "$1: after the drag the window equals the headless picture at 2x outside the read-out" \
        same_outside_readout "dragged-$1" dragged-2x-headless
    drag_device_pixels
    hold_dlq1 0.6
}
headless editor-2x-headless --show -1
headless dragged-2x-headless press L 68 96 move 268 96 release L 268 96

start_again 2x
check "the host started again" expect_line ready 240
ask "scale 2" scale
check "the host's scale 2 (effVendorSpecific 'PreS' 'AeCs') is taken: the answer is 1" [ "$reply" = "scale 1" ]
ask getrect rect
check "with the host's scale 2, getRect before the open is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
scaled_open 2x
ask quit unloaded
expect_line bye
wait "$host_pid"
rc=$?
host_pid=""
check "the host at 2x exited cleanly" [ "$rc" = 0 ]

# The system's DPI, as Windows's display settings (and winecfg) store it.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >>"$work/reg.log" 2>&1
wineserver -w 2>/dev/null
start_again dpi
check "the host started at 192 dpi" expect_line ready 240
ask getrect rect
check "at 192 dpi getRect before the first open is 518 x 665 (the system is asked at the open)" \
    [ "$reply" = "rect 0 0 518 665" ]
scaled_open dpi
ask close closed
ask getrect rect
check "at 192 dpi getRect after the close is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
ask quit unloaded
expect_line bye
wait "$host_pid"
rc=$?
host_pid=""
check "the host at 192 dpi exited cleanly" [ "$rc" = 0 ]
finish
