# Sourced by the real-window tests (run.sh: the Win32 host under Wine;
# run-x11.sh: the Linux host). Both hosts speak the same line protocol: a
# command on the host's standard input, answer lines on its standard output
# (automation requests arrive among them as "automate INDEX VALUE", those of
# a second instance as "automate2 ...", and so do the edit gestures'
# "beginedit INDEX" and "endedit INDEX"). The script that sources this sets
# `work` (a scratch folder), `artifacts` and `here`, starts its host with
# commands on fd 3 and answers on fd 4, and sets `host_pid`, `ex` and `ey`
# (the editor's screen position) and `transcript`.
#
# Colours: is_orange allows `orange_slack` per channel (0 = exact).
# `zoom` is the scale the editor under test draws at (1 or 2): the shots and
# the gestures below take the layout's positions times it.
. "$here/../support/xvfb.sh"

passed=0
failed=0
started=$SECONDS
host_pid=""

# However the script ends: the host and its pipes, then what the script's
# own `end_more` ends (Wine's server, jalv, JACK), the display, the scratch
# folder. Writing to a host that died fails the check instead of killing
# the script.
cleanup() {
    exec 3>&- 4<&- 2>/dev/null
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    declare -F end_more >/dev/null && end_more
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
trap '' PIPE
reply=""
transcript=$work/transcript
orange_slack=0
zoom=1

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
    cat "$work"/transcript* 2>/dev/null
    echo "--- host errors"
    cat "$work"/err* 2>/dev/null
    echo "real-window test took $((SECONDS - started)) s"
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ] && [ "$passed" -gt 0 ]
    exit $?
}

# Reads host lines until one starts with PREFIX (within SECONDS); automate
# lines are collected on the way. Wine's console adds carriage returns.
expect_line() { # PREFIX [SECONDS]
    local prefix=$1 limit=${2:-20} line
    local end=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$end" ]; do
        if IFS= read -r -t 1 line <&4; then
            line=${line%$'\r'}
            echo "$line" >>"$transcript"
            case $line in automate* | beginedit* | endedit*) echo "$line" >>"$work/automate" ;; esac
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

# ---- pixels ---------------------------------------------------------------
shot() { # NAME: the editor to ARTIFACTS/NAME.png, the whole screen to WORK/NAME.ppm
    sleep 0.3
    import -display "$DISPLAY" -window root -depth 8 "ppm:$work/$1.ppm" 2>>"$work/err.shots"
    import -display "$DISPLAY" -window root -crop "$((390 * zoom))x$((158 * zoom))+$ex+$ey" +repage \
        "$artifacts/$1.png" 2>>"$work/err.shots"
}
screen_pixel() { python3 "$here/pixels.py" "$work/$1.ppm" at "$2" "$3"; }
pixel() { screen_pixel "$1" $((ex + $2)) $((ey + $3)); }
darkest() {
    python3 "$here/pixels.py" "$work/$1.ppm" darkest $((ex + $2)) $((ey + $3)) $((ex + $4)) $((ey + $5))
}
is_colour() { [ "$(pixel "$1" "$2" "$3")" = "$4" ]; }
orange_at() { # SHOT X Y (screen): the slider marker, 250 150 0
    local r g b d
    read -r r g b <<<"$(screen_pixel "$1" "$2" "$3")"
    d=$((g - 150))
    [ "$r" -ge $((250 - orange_slack)) ] && [ "${d#-}" -le "$orange_slack" ] && [ "$b" -le "$orange_slack" ]
}
is_orange() { orange_at "$1" $((ex + $2)) $((ey + $3)); }
not_orange() { ! is_orange "$@"; }

# The headless back-end's picture of the same state, to ARTIFACTS/NAME.png,
# by `snapshot` (the VST 2 editor's; run.sh, under Wine, has its own), and
# two pictures compared.
headless() { # NAME STEP...
    local name=$1
    shift
    "$snapshot" -o "$artifacts/$name.png" "$@" >/dev/null 2>>"$work/err.shots"
}
differing() { compare -metric AE "$1" "$2" null: 2>&1; }
same_picture() { # A B: ARTIFACTS/A.png and B.png equal pixel for pixel
    local n
    n=$(differing "$artifacts/$1.png" "$artifacts/$2.png")
    [ "$n" = 0 ] || echo "  $1 and $2 differ in $n pixels"
    [ "$n" = 0 ]
}

# ---- automation -----------------------------------------------------------
last_automate() { grep "^automate $1 " "$work/automate" | tail -n 1 | cut -d' ' -f3; }
one_gesture() { # INDEX: one beginedit first, one endedit last, the automation between for INDEX
    local lines first last
    lines=$(grep -E '^(automate|beginedit|endedit) ' "$work/automate")
    first=$(head -n 1 <<<"$lines")
    last=$(tail -n 1 <<<"$lines")
    [ "$first" = "beginedit $1" ] && [ "$last" = "endedit $1" ] &&
        [ "$(grep -c '^beginedit ' <<<"$lines")" = 1 ] &&
        [ "$(grep -c '^endedit ' <<<"$lines")" = 1 ] &&
        ! grep -E '^automate ' <<<"$lines" | grep -qv "^automate $1 "
}
in_range() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
steps_of_fine() { # VALUE...: consecutive values differ by 0.001
    python3 - "$@" <<'PY'
import sys
v = [float(x) for x in sys.argv[1:]]
ok = len(v) >= 2 and all(abs((b - a) - 0.001) < 2e-5 for a, b in zip(v, v[1:]))
sys.exit(0 if ok else 1)
PY
}

# ---- gestures both hosts must answer alike --------------------------------
drag_slfilter1() { # SHOT: a left drag on SLFilter1 from area column 10 to 110
    : >"$work/automate"
    xdotool mousemove $((ex + zoom * (24 + 10))) $((ey + zoom * 48))
    sleep 0.2
    xdotool mousedown 1
    for col in 20 35 50 65 80 95 110; do
        sleep 0.05
        xdotool mousemove $((ex + zoom * (24 + col))) $((ey + zoom * 48))
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
    check "the drag was one edit gesture on index 0 (begin, automation, end)" one_gesture 0
    shot "$1"
    check "the marker moved to area column 110" is_orange "$1" $((zoom * (24 + 110))) $((zoom * 42))
    check "no marker left at column 10" not_orange "$1" $((zoom * (24 + 10))) $((zoom * 42))
}

hold_dlq1() { # SETTLE: the right button held on the upper half of DlQ1 for 2.2 s
    : >"$work/automate"
    xdotool mousemove $((ex + zoom * (64 + 21))) $((ey + zoom * (96 + 8)))
    sleep 0.2
    xdotool mousedown 3
    sleep 2.2
    xdotool mouseup 3
    # The release reaches the window with some delay (X server, Wine): let
    # it settle, collect the host's reports so far (ask reads them), then
    # watch for more than two ticks.
    sleep "$1"
    ask "get 3" "param 3"
    local at_release steps
    at_release=$(grep -c '^automate 3 ' "$work/automate" || true)
    sleep 1.2
    ask "get 3" "param 3"
    mapfile -t steps < <(grep '^automate 3 ' "$work/automate" | cut -d' ' -f3)
    echo "fine steps: ${steps[*]:-none}"
    check "3 to 6 fine steps for a 2.2 s hold (one per 500 ms)" in_range "${#steps[@]}" 3 6
    check "each tick raised the value by exactly 0.001" steps_of_fine "${steps[@]}"
    check "no step after the release" [ "${#steps[@]}" -eq "$at_release" ]
    check "the effect holds the last stepped value" [ "$(last_automate 3)" = "${reply#param 3 }" ]
    check "the hold was one edit gesture on index 3 (begin, steps, end)" one_gesture 3
}

drag_device_pixels() { # a left drag on SlFilter2 from area column 10, 61 device pixels to the right
    : >"$work/automate"
    local x0=$((ex + zoom * (24 + 10))) y=$((ey + zoom * 64)) columns=$((61 / zoom))
    xdotool mousemove "$x0" "$y"
    sleep 0.2
    xdotool mousedown 1
    sleep 0.1
    xdotool mousemove $((x0 + 61)) "$y"
    sleep 0.2
    xdotool mouseup 1
    sleep 0.3
    ask "get 1" "param 1"
    check "a drag of 61 device pixels at ${zoom}x means $columns layout pixels (SlFilter2 at 0.$columns)" \
        [ "$(last_automate 1)" = "$(printf '0.%02d0000' "$columns")" ]
    check "and SlFilter2 holds it" [ "$reply" = "$(printf 'param 1 0.%02d0000' "$columns")" ]
}

close_mid_drag() { # a left drag on SlFilter2 while the host closes the editor; then it reopens
    : >"$work/automate"
    xdotool mousemove $((ex + 24 + 30)) $((ey + 64))
    sleep 0.2
    xdotool mousedown 1
    sleep 0.1
    xdotool mousemove $((ex + 24 + 60)) $((ey + 64))
    sleep 0.3
    ask close closed
    sleep 0.2
    xdotool mouseup 1
    sleep 0.3
    ask children children
    check "closing the editor mid-drag ends its edit gesture (begin, automation, end)" one_gesture 1
    ask open open
    expect_line editor
}

host_sets() { # SHOT: the host sets two values itself, as automation and from its own thread
    ask "set 0 0.2" "set 0"
    ask "playset 5 0.75" "played 5"
    shot "$1"
    check "a value the host set from its own thread moved SLFilter1's marker (area column 30)" \
        is_orange "$1" $((24 + 30)) 42
    check "automation on the audio thread moved DlSmooth1's dot to twelve o'clock" \
        is_colour "$1" $((168 + 20)) $((40 + 5)) "187 187 187"
}

click_second_slfilter1() { # a click at SLFilter1's column 110 in the second instance's editor (sx, sy)
    : >"$work/automate"
    xdotool mousemove $((sx + 24 + 110)) $((sy + 48))
    sleep 0.2
    xdotool click 1
    sleep 0.5
    ask "get 0" "param 0"
    check "the second editor automates its own instance" grep -q "^automate2 0 1.000000" "$work/automate"
    check "the first instance hears nothing of it" first_silent
}
first_silent() { ! grep -q "^automate " "$work/automate"; }

program5_markers() { # SHOT: all markers of program 5 (all 0.0) and a blank read-out
    check "after program 5 (all 0.0) SLFilter1's marker is at column 10" is_orange "$1" $((24 + 10)) 42
    check "after program 5 SlFilter2's marker is at column 10" is_orange "$1" $((24 + 10)) 58
    check "after program 5 DlQ1's dot is at three o'clock" is_colour "$1" $((64 + 35)) $((96 + 20)) "187 187 187"
    check "after program 5 the read-out is blank" [ "$(darkest "$1" 232 32 360 56)" -gt 120 ]
}

click_slfilter2_top() { # SlFilter2 clicked at 1.0 (writes the read-out), then SHOT
    xdotool mousemove $((ex + 24 + 110)) $((ey + 64))
    sleep 0.2
    xdotool click 1
    shot "$1"
    check "the read-out shows text before the program change" [ "$(darkest "$1" 232 32 360 56)" -lt 80 ]
}

close_and_reopen() { # the editor closed, the window gone, then opened again
    ask close closed
    ask children children
    check "close destroys the editor window" [ "$reply" = "children 0" ]
    ask getrect rect
    check "getRect after the last close is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
    [ "${1:-}" = twice ] && {
        ask close closed
        check "a second close without an open returns" [ "$reply" = "closed" ]
    }
    ask open open
    check "reopen answers 1" [ "$reply" = "open 1" ]
    expect_line editor
    ask getrect rect
    check "getRect after reopening is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]
    ask children children
    check "one editor window after reopening" [ "$reply" = "children 1" ]
}

close_instance_with_editor() { # effClose while the editor is open; then the host quits
    sleep 0.6 # let both timers run on the window
    ask closeinstance "instance closed"
    check "effClose with the editor open returns" [ "$reply" = "instance closed" ]
    ask children children
    check "nothing left behind after effClose" [ "$reply" = "children 0" ]
    sleep 0.6 # timers of a leftover window would fire now
}

first_open() { # getRect and children before and after the first effEditOpen; sets ex, ey
    ask getrect rect
    check "getRect before the first open is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
    ask children children
    check "no editor window before open" [ "$reply" = "children 0" ]
    ask open open
    check "effEditOpen answers 1" [ "$reply" = "open 1" ]
    expect_line editor
    read -r _ ex ey <<<"$reply"
}
