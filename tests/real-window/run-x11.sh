#!/usr/bin/env bash
# The Linux editor in a real X window. Starts its own Xvfb on a free
# display, runs the Linux test host with the plug-in, and drives it through
# the host's command lines and real mouse input (xdotool). Screenshots are
# compared pixel for pixel with the headless back-end's pictures of the same
# state (made by the snapshot tool); both stay in ARTIFACTS (editor-x11.png
# is the open editor with the factory program, editor-x11-headless.png the
# headless picture it must equal). At the end the editor opens at 2x, once
# at the host's request and once at the desktop's (Xft.dpi); editor-2x-x11.png
# and editor-dpi-x11.png are those windows, editor-2x-x11-headless.png the
# picture both must equal.
#
#   run-x11.sh HOST PLUGIN.so SNAPSHOT ARTIFACTS_DIR
set -u
# The desktop's own scale would scale the editor; each run below sets its own.
unset GDK_SCALE
host=$1
plugin=$2
snapshot=$3
artifacts=${4:-$PWD/artifacts}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artifacts"

work=$(mktemp -d /tmp/velmora-x11gui.XXXXXX)
. "$here/harness.sh"

start_xvfb 161 230 640x480x24 "$work/xvfb.log" || { echo "no free display"; failed=1; finish; }

# ---- host -----------------------------------------------------------------
# The numbers of the main run use the C locale's point, whatever the
# machine's settings.
run_name=""
start_host() { # NAME [-u VAR | VAR=VALUE]...: a new host, its lines on fd 4, commands on fd 3
    run_name=$1
    transcript=$work/transcript.$1
    shift
    local unset=() set=()
    while [ $# -gt 0 ]; do
        case $1 in
        -u) unset+=(-u "$2"); shift 2 ;;
        *) set+=("$1"); shift ;;
        esac
    done
    rm -f "$work/in" "$work/out"
    mkfifo "$work/in" "$work/out"
    : >"$work/automate"
    env -u LANG -u LC_NUMERIC "${unset[@]}" LC_ALL=C "${set[@]}" "$host" "$plugin" \
        <"$work/in" >"$work/out" 2>"$work/err.$run_name" &
    host_pid=$!
    exec 3>"$work/in"
    exec 4<"$work/out"
}
end_host() { # waits for the host to exit; its status in host_rc
    exec 3>&-
    wait "$host_pid"
    host_rc=$?
    host_pid=""
    exec 4<&-
}

clean_transcript() { # no X error reached the host, no handler of the plug-in was left installed
    ! grep -qE '^(xerror|xioerror|handler-left)' "$transcript"
}

other_picture() { ! same_picture "$@" >/dev/null; }

# ================= main run: one host, the C locale ==========================
start_host main
check "host started and loaded the plug-in through VSTPluginMain" expect_line ready 30
[ "$failed" = 0 ] || finish

first_open
check "the editor lies at (0, 0) of the host's window (40, 40)" [ "$ex $ey" = "40 40" ]
ask getrect rect
check "getRect while open is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]
ask children children
check "one borderless child window" [ "$reply" = "children 1" ]

sleep 1
shot editor-x11
headless editor-x11-headless --show -1
check "screenshot of the open editor kept" [ -s "$artifacts/editor-x11.png" ]
check "the open editor equals the headless picture pixel for pixel" \
    same_picture editor-x11 editor-x11-headless
check "SLFilter1 marker at program 0's 0.75 (area column 85)" is_orange editor-x11 $((24 + 85)) 42
check "SlFilter2 marker at program 0's 1.0 (area column 110)" is_orange editor-x11 $((24 + 110)) 58

drag_slfilter1 dragged-x11
headless dragged-x11-headless press L 34 48 move 134 48 release L 134 48
check "after the drag the window equals the headless picture (read-out 12.8KHz)" \
    same_picture dragged-x11 dragged-x11-headless

hold_dlq1 0.3

# ---- a second instance with its editor open at the same time ---------------
ask second editor2
read -r _ sx sy <<<"$reply"
check "a second instance's editor opens in the second window (40, 240)" [ "${sx:-} ${sy:-}" = "40 240" ]
sleep 0.6
click_second_slfilter1

# ---- program change through the dispatcher ---------------------------------
# The second instance's construction asked for a refresh, which blanked the
# read-out; a click on SlFilter2 (already at 1.0) writes it again.
click_slfilter2_top before-program
ask "program 5" "program"
sleep 0.25
shot program5-x11
headless program5-x11-headless program 5 wait 250
program5_markers program5-x11
check "after program 5 the window equals the headless picture" same_picture program5-x11 program5-x11-headless
host_sets hostset-x11
headless hostset-x11-headless program 5 wait 250 set 0 0.2 set 5 0.75 wait 250
check "the host's changes show as the headless picture of the new values" \
    same_picture hostset-x11 hostset-x11-headless
ask closesecond "second closed"
sleep 0.6 # timers of the second window would fire now if they outlived it

# ---- close, close again, reopen --------------------------------------------
close_mid_drag
close_and_reopen twice

# ---- the host destroys its window before effEditClose -----------------------
sleep 0.4
ask destroyparent "parent destroyed"
sleep 0.3 # idle calls meet the destroyed window
ask close closed
check "effEditClose after the host destroyed the parent returns" [ "$reply" = "closed" ]
ask open open
check "an open in the host's new window answers 1" [ "$reply" = "open 1" ]
expect_line editor
ask children children
check "the new window holds the editor" [ "$reply" = "children 1" ]
ask close closed

# ---- a window id that is no window ------------------------------------------
ask openbad open
check "effEditOpen with an invalid parent id answers 0" [ "$reply" = "open 0" ]
ask getrect rect
check "getRect after the refused open is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]

# ---- 1000 open/close cycles ----------------------------------------------------
ask "cycles 20" cycles 120 # first-use allocations (artwork, Xlib's tables) before counting
ask "cycles 1000" cycles 600
echo "$reply"
c0="" c1="" r0="" r1="" f0="" f1="" m0="" m1=""
read -r _ _ _ c0 c1 _ r0 r1 _ f0 f1 _ m0 m1 <<<"$reply"
answered_cycles() { [[ "$reply" == "cycles 1000 clients "* ]]; }
check "the host answered the 1000 cycles" answered_cycles
numbers() { for v in "$@"; do [[ "$v" =~ ^[0-9]+$ ]] || return 1; done; }
unchanged_count() { numbers "$1" "$2" && [ "$1" = "$2" ] && [ "$1" -gt 0 ]; }
check "1000 cycles leave the X server's client count as it was ($c0 -> $c1)" unchanged_count "$c0" "$c1"
check "1000 cycles leave the X server's resource count as it was ($r0 -> $r1)" unchanged_count "$r0" "$r1"
check "1000 cycles leave no file descriptor (connection) open ($f0 -> $f1)" unchanged_count "$f0" "$f1"
small_growth() { numbers "$1" "$2" && [ $(($2 - $1)) -lt 512 ]; }
check "1000 cycles grow the host's memory by less than 512 KiB ($m0 -> $m1 KiB)" small_growth "$m0" "$m1"

# ---- effClose with the editor open -----------------------------------------------
ask open open
expect_line editor
close_instance_with_editor
ask quit unloaded
expect_line bye
check "host still alive after the instance is gone" [ "$reply" = "bye" ]
end_host
check "no X error reached the host, and the host's X error handlers stayed installed" clean_transcript
check "host exited cleanly" [ "$host_rc" = 0 ]

# ================= a comma locale: the read-out's decimal separator ==========
locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'
check "the comma locale de_DE.UTF-8 is installed (scripts/install-deps.sh)" [ $? = 0 ]
start_host comma LC_ALL=de_DE.UTF-8
expect_line ready 30
ask open open
expect_line editor
read -r _ ex ey <<<"$reply"
sleep 1 # past the first refresh, which blanks the read-out
xdotool mousemove $((ex + 24 + 110)) $((ey + 64))
sleep 0.2
xdotool click 1
sleep 0.3
ask "get 1" "param 1"
check "SlFilter2 at 1.0" [ "$reply" = "param 1 1.000000" ]
shot comma-x11
headless comma-x11-headless --sep , press L 134 64 release L 134 64
headless point-headless press L 134 64 release L 134 64
check "with LC_ALL=de_DE.UTF-8 the read-out shows 12,8KHz (equals the headless picture)" \
    same_picture comma-x11 comma-x11-headless
check "and not 12.8KHz" other_picture comma-x11 point-headless
ask quit unloaded
end_host
check "the comma-locale host exited cleanly" [ "$host_rc" = 0 ]
check "the comma-locale host saw no X error" clean_transcript

# ================= no display: no editor, the same audio =======================
start_host display
expect_line ready 30
ask open open
sleep 0.5
ask "render 88200" render 60
with_display=$reply
ask quit unloaded
end_host
start_host nodisplay -u DISPLAY
expect_line nodisplay 30
nodisplay_said=$reply
expect_line ready 30
loaded_without_display() { [ "$reply" = ready ] && [ "$nodisplay_said" = nodisplay ]; }
check "without DISPLAY the plug-in loads" loaded_without_display
ask open open
check "without DISPLAY effEditOpen answers 0" [ "$reply" = "open 0" ]
ask getrect rect
check "without DISPLAY getRect answers 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
ask "render 88200" render 60
without_display=$reply
echo "audio with a display: $with_display; without: $without_display"
audible() { awk -v r="${1##* }" 'BEGIN { exit !(r > 0.001) }'; }
check "the rendered audio is not silence" audible "$with_display"
same_render() { [[ "$1" == "render "* ]] && [ "$1" = "$2" ]; }
check "without DISPLAY the audio equals a run with a display" same_render "$with_display" "$without_display"
ask quit unloaded
end_host
check "the host without a display exited cleanly" [ "$host_rc" = 0 ]
check "the host without a display saw no X error" clean_transcript

# ================= 2x: the host's scale, then the desktop's ====================
# A screen with room for the window at twice its size.
stop_xvfb
start_xvfb 161 230 1280x800x24 "$work/xvfb-2x.log" || { echo "no free display"; failed=$((failed + 1)); finish; }
zoom=2
scaled_open() { # NAME: opens, checks the sizes at 2x, and compares the window with the headless picture
    ask open open
    check "$1: effEditOpen answers 1" [ "$reply" = "open 1" ]
    expect_line editor
    read -r _ ex ey <<<"$reply"
    ask getrect rect
    check "$1: getRect while open is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
    ask editorsize editorsize
    check "$1: the editor's window is 780 x 316" [ "$reply" = "editorsize 780 316" ]
    sleep 1 # past the first refresh, which blanks the read-out
    shot "editor-$1-x11"
    check "$1: the open editor equals the headless picture at 2x pixel for pixel" \
        same_picture "editor-$1-x11" editor-2x-x11-headless
    check "$1: SLFilter1's marker at 2 x (24 + 85, 42)" is_orange "editor-$1-x11" 218 84
    drag_slfilter1 "dragged-$1-x11"
    check "$1: after the drag the window equals the headless picture at 2x" \
        same_picture "dragged-$1-x11" dragged-2x-x11-headless
    drag_device_pixels
    hold_dlq1 0.3
}
headless editor-2x-x11-headless --scale 2 --show -1
headless dragged-2x-x11-headless --scale 2 press L 68 96 move 268 96 release L 268 96

start_host scaled
expect_line ready 30
ask "scale 2" scale
check "the host's scale 2 (effVendorSpecific 'PreS' 'AeCs') is taken: the answer is 1" [ "$reply" = "scale 1" ]
ask getrect rect
check "with the host's scale 2, getRect before the open is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
scaled_open 2x
ask quit unloaded
end_host
check "the host at 2x exited cleanly" [ "$host_rc" = 0 ]
check "the host at 2x saw no X error" clean_transcript

# The desktop's resources, as xrdb leaves them on the root window.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.antialias:\t1\nXft.dpi:\t192\n')"
start_host dpi
expect_line ready 30
ask getrect rect
check "with Xft.dpi 192, getRect before the first open is 518 x 665 (the desktop is asked at the open)" \
    [ "$reply" = "rect 0 0 518 665" ]
scaled_open dpi
ask close closed
ask getrect rect
check "with Xft.dpi 192, getRect after the close is 316 x 780" [ "$reply" = "rect 0 0 316 780" ]
ask quit unloaded
end_host
check "the host at the desktop's 2x exited cleanly" [ "$host_rc" = 0 ]
check "the host at the desktop's 2x saw no X error" clean_transcript
finish
