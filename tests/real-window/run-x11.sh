#!/usr/bin/env bash
# The Linux editor in a real X window. Starts its own Xvfb on a free
# display, runs the Linux test host with the plug-in, and drives it through
# the host's command lines and real mouse input (xdotool). Screenshots are
# compared pixel for pixel with the headless back-end's pictures of the same
# state (made by the snapshot tool); both stay in ARTIFACTS (editor-x11.png
# is the open editor with the factory program, editor-x11-headless.png the
# headless picture it must equal).
#
#   run-x11.sh HOST PLUGIN.so SNAPSHOT ARTIFACTS_DIR
set -u
host=$1
plugin=$2
snapshot=$3
artifacts=${4:-$PWD/artifacts}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artifacts"
started=$SECONDS

work=$(mktemp -d /tmp/velmora-x11gui.XXXXXX)
xvfb_pid=""
host_pid=""
passed=0
failed=0

cleanup() {
    exec 3>&- 4<&- 2>/dev/null
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# Writing to a host that died fails the check instead of killing this script.
trap '' PIPE

check() { # NAME COMMAND...
    local name=$1
    shift
    if "$@"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

finish() {
    echo "--- host transcripts"
    cat "$work"/transcript.* 2>/dev/null
    echo "--- host errors"
    cat "$work"/err.* 2>/dev/null
    echo "real-window test took $((SECONDS - started)) s"
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ] && [ "$passed" -gt 0 ]
    exit $?
}

# ---- display --------------------------------------------------------------
# Another session may take a free number between the look and the start:
# then this Xvfb exits and the next number is tried. -noreset: the server
# would otherwise reset whenever its last client leaves, and refuse the
# next one for a moment.
display=""
for n in $(seq 161 230); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        display=$n
        break
    fi
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
done
[ -n "$display" ] || { echo "no free display"; failed=1; finish; }
export DISPLAY=":$display"

# ---- host -----------------------------------------------------------------
# The numbers of the main run use the C locale's point, whatever the
# machine's settings.
run_name=""
start_host() { # NAME [-u VAR | VAR=VALUE]...: a new host, its lines on fd 4, commands on fd 3
    run_name=$1
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

reply=""
# Reads host lines until one starts with PREFIX (within SECONDS); automate
# lines are collected on the way.
expect_line() {
    local prefix=$1 limit=${2:-20} line
    local end=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$end" ]; do
        if IFS= read -r -t 1 line <&4; then
            echo "$line" >>"$work/transcript.$run_name"
            case $line in automate*) echo "$line" >>"$work/automate" ;; esac
            if [[ $line == "$prefix"* ]]; then
                reply=$line
                return 0
            fi
        elif ! kill -0 "$host_pid" 2>/dev/null; then
            return 1
        fi
    done
    return 1
}
send() { echo "$1" >&3; }
ask() { # COMMAND PREFIX [SECONDS]: sends and waits for the answer line
    reply=""
    send "$1"
    expect_line "$2" "${3:-20}"
}
clean_transcript() { # no X error reached the host, no handler of the plug-in was left installed
    ! grep -qE '^(xerror|xioerror|handler-left)' "$work/transcript.$run_name"
}

shot() { # NAME: the editor to ARTIFACTS/NAME.png, the whole screen to WORK/NAME.ppm
    sleep 0.3
    import -display "$DISPLAY" -window root -depth 8 "ppm:$work/$1.ppm" 2>>"$work/err.shots"
    import -display "$DISPLAY" -window root -crop "390x158+$ex+$ey" +repage \
        "$artifacts/$1.png" 2>>"$work/err.shots"
}
headless() { # NAME STEP...: the headless picture of the same state, to ARTIFACTS/NAME.png
    local name=$1
    shift
    "$snapshot" -o "$artifacts/$name.png" "$@" >/dev/null 2>>"$work/err.shots"
}
differing() { compare -metric AE "$1" "$2" null: 2>&1; }
same_picture() { # A B: equal pixel for pixel
    local n
    n=$(differing "$artifacts/$1.png" "$artifacts/$2.png")
    [ "$n" = 0 ] || echo "  $1 and $2 differ in $n pixels"
    [ "$n" = 0 ]
}
other_picture() { ! same_picture "$@" >/dev/null; }
pixel() { python3 "$here/pixels.py" "$work/$1.ppm" at $((ex + $2)) $((ey + $3)); }
darkest() {
    python3 "$here/pixels.py" "$work/$1.ppm" darkest $((ex + $2)) $((ey + $3)) $((ex + $4)) $((ey + $5))
}
is_colour() { [ "$(pixel "$1" "$2" "$3")" = "$4" ]; }
is_orange() { [ "$(pixel "$1" "$2" "$3")" = "250 150 0" ]; }
not_orange() { ! is_orange "$@"; }
last_automate() { grep "^automate $1 " "$work/automate" | tail -n 1 | cut -d' ' -f3; }
in_range() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }

# ================= main run: one host, the C locale ==========================
start_host main
check "host started and loaded the plug-in through VSTPluginMain" expect_line ready 30
[ "$failed" = 0 ] || finish

ask getrect rect
check "getRect before the first open is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
ask children children
check "no editor window before open" [ "$reply" = "children 0" ]
ask open open
check "effEditOpen answers 1" [ "$reply" = "open 1" ]
expect_line editor
read -r _ ex ey <<<"$reply"
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

# ---- left drag on SLFilter1 from area column 10 to 110 ----------------------
: >"$work/automate"
xdotool mousemove $((ex + 24 + 10)) $((ey + 48))
sleep 0.2
xdotool mousedown 1
for col in 20 35 50 65 80 95 110; do
    sleep 0.05
    xdotool mousemove $((ex + 24 + col)) $((ey + 48))
done
sleep 0.2
xdotool mouseup 1
sleep 0.3
ask "get 0" "param 0"
check "host received audioMasterAutomate for index 0" grep -q "^automate 0 " "$work/automate"
check "the press at column 10 sent 0.0" \
    [ "$(grep '^automate 0 ' "$work/automate" | head -n 1 | cut -d' ' -f3)" = "0.000000" ]
check "the drag ended at 1.0" [ "$(last_automate 0)" = "1.000000" ]
check "getParameter(0) is 1.0 after the drag" [ "$reply" = "param 0 1.000000" ]
shot dragged-x11
headless dragged-x11-headless press L 34 48 move 134 48 release L 134 48
check "the marker moved to area column 110" is_orange dragged-x11 $((24 + 110)) 42
check "no marker left at column 10" not_orange dragged-x11 $((24 + 10)) 42
check "after the drag the window equals the headless picture (read-out 12.8KHz)" \
    same_picture dragged-x11 dragged-x11-headless

# ---- right button held on the upper half of DlQ1 for about 2.2 s ------------
: >"$work/automate"
xdotool mousemove $((ex + 64 + 21)) $((ey + 96 + 8))
sleep 0.2
xdotool mousedown 3
sleep 2.2
xdotool mouseup 3
sleep 0.3
ask "get 3" "param 3"
at_release=$(grep -c '^automate 3 ' "$work/automate" || true)
sleep 1.2
ask "get 3" "param 3"
mapfile -t steps < <(grep '^automate 3 ' "$work/automate" | cut -d' ' -f3)
echo "fine steps: ${steps[*]:-none}"
check "3 to 6 fine steps for a 2.2 s hold (one per 500 ms)" in_range "${#steps[@]}" 3 6
step_ok() {
    python3 - "$@" <<'PY'
import sys
v = [float(x) for x in sys.argv[1:]]
ok = len(v) >= 2 and all(abs((b - a) - 0.001) < 2e-5 for a, b in zip(v, v[1:]))
sys.exit(0 if ok else 1)
PY
}
check "each tick raised the value by exactly 0.001" step_ok "${steps[@]}"
check "no step after the release" [ "${#steps[@]}" -eq "$at_release" ]
check "the effect holds the last stepped value" [ "$(last_automate 3)" = "${reply#param 3 }" ]

# ---- a second instance with its editor open at the same time ---------------
ask second editor2
read -r _ sx sy <<<"$reply"
check "a second instance's editor opens in the second window (40, 240)" [ "${sx:-} ${sy:-}" = "40 240" ]
sleep 0.6
: >"$work/automate"
xdotool mousemove $((sx + 24 + 110)) $((sy + 48))
sleep 0.2
xdotool click 1
sleep 0.5
ask "get 0" "param 0"
check "the second editor automates its own instance" grep -q "^automate2 0 1.000000" "$work/automate"
first_silent() { ! grep -q "^automate " "$work/automate"; }
check "the first instance hears nothing of it" first_silent

# ---- program change through the dispatcher ---------------------------------
# The second instance's construction asked for a refresh, which blanked the
# read-out; a click on SlFilter2 (already at 1.0) writes it again.
xdotool mousemove $((ex + 24 + 110)) $((ey + 64))
sleep 0.2
xdotool click 1
shot before-program
check "the read-out shows text before the program change" [ "$(darkest before-program 232 32 360 56)" -lt 80 ]
ask "program 5" "program"
sleep 0.25
shot program5-x11
headless program5-x11-headless program 5 wait 250
check "after program 5 (all 0.0) SLFilter1's marker is at column 10" is_orange program5-x11 $((24 + 10)) 42
check "after program 5 SlFilter2's marker is at column 10" is_orange program5-x11 $((24 + 10)) 58
check "after program 5 DlQ1's dot is at three o'clock" is_colour program5-x11 $((64 + 35)) $((96 + 20)) "187 187 187"
check "after program 5 the read-out is blank" [ "$(darkest program5-x11 232 32 360 56)" -gt 120 ]
check "after program 5 the window equals the headless picture" same_picture program5-x11 program5-x11-headless
ask closesecond "second closed"
sleep 0.6 # timers of the second window would fire now if they outlived it

# ---- close, close again, reopen --------------------------------------------
ask close closed
ask children children
check "close destroys the editor window" [ "$reply" = "children 0" ]
ask getrect rect
check "getRect after the last close is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
ask close closed
check "a second close without an open returns" [ "$reply" = "closed" ]
ask open open
check "reopen answers 1" [ "$reply" = "open 1" ]
expect_line editor
ask getrect rect
check "getRect after reopening is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]
ask children children
check "one editor window after reopening" [ "$reply" = "children 1" ]

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
sleep 0.6 # both timers run on the new window
ask closeinstance "instance closed"
check "effClose with the editor open returns" [ "$reply" = "instance closed" ]
ask children children
check "nothing left behind after effClose" [ "$reply" = "children 0" ]
sleep 0.6 # timers of a leftover window would fire now
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
finish
