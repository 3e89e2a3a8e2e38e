#!/usr/bin/env bash
# The editor in a real window. Starts its own Xvfb on a free display and
# Wine in a fresh prefix, runs the Win32 test host with the plug-in, and
# drives it through the host's command lines and real mouse input
# (xdotool). Screenshots stay in ARTIFACTS (editor.png is the open editor
# with the factory program).
#
#   run.sh HOST.exe PLUGIN.dll ARTIFACTS_DIR
set -u
host=$1
dll=$2
artifacts=${3:-$PWD/artifacts}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artifacts"

work=$(mktemp -d /tmp/velmora-gui.XXXXXX)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
host_pid=""
passed=0
failed=0

cleanup() {
    exec 3>&- 4<&- 2>/dev/null
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

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
    echo "--- host transcript"
    cat "$work/transcript" 2>/dev/null
    echo "--- host errors"
    cat "$work/err" 2>/dev/null
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ] && [ "$passed" -gt 0 ]
    exit $?
}

# ---- display --------------------------------------------------------------
display=""
for n in $(seq 91 160); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free display"; failed=1; finish; }
Xvfb ":$display" -screen 0 640x400x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

# ---- host -----------------------------------------------------------------
# A crash must end the host, not leave it waiting in a dialog nobody sees.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >"$work/reg.log" 2>&1
# Writing to a host that died fails the check instead of killing this script.
trap '' PIPE
mkfifo "$work/in" "$work/out"
: >"$work/automate"
: >"$work/transcript"
windll="Z:${dll//\//\\}"
wine "$host" "$windll" <"$work/in" >"$work/out" 2>"$work/err" &
host_pid=$!
exec 3>"$work/in"
exec 4<"$work/out"

reply=""
# Reads host lines until one starts with PREFIX (within SECONDS); automate
# lines are collected on the way.
expect_line() {
    local prefix=$1 limit=${2:-20} line
    local end=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$end" ]; do
        if IFS= read -r -t 1 line <&4; then
            line=${line%$'\r'}
            echo "$line" >>"$work/transcript"
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
ask() { # COMMAND PREFIX: sends and waits for the answer line
    reply=""
    send "$1"
    expect_line "$2"
}

check "host started and loaded the plug-in" expect_line ready 240
[ "$failed" = 0 ] || finish

ask getrect rect
check "getRect before the first open is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
ask children children
check "no editor window before open" [ "$reply" = "children 0" ]

ask open open
check "effEditOpen answers 1" [ "$reply" = "open 1" ]
expect_line editor
read -r _ ex ey <<<"$reply"
ask getrect rect
check "getRect while open is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]

shot() { # NAME: the editor to ARTIFACTS/NAME.png, the whole screen to WORK/NAME.ppm
    sleep 0.3
    import -display "$DISPLAY" -window root -depth 8 "ppm:$work/$1.ppm" 2>>"$work/err"
    import -display "$DISPLAY" -window root -crop "390x158+$ex+$ey" +repage \
        "$artifacts/$1.png" 2>>"$work/err"
}
pixel() { python3 "$here/pixels.py" "$work/$1.ppm" at $((ex + $2)) $((ey + $3)); }
darkest() {
    python3 "$here/pixels.py" "$work/$1.ppm" darkest $((ex + $2)) $((ey + $3)) $((ex + $4)) $((ey + $5))
}
is_colour() { [ "$(pixel "$1" "$2" "$3")" = "$4" ]; }
is_orange() { # the slider marker, 250 150 0, allowing for a 16-bit display
    local r g b
    read -r r g b <<<"$(pixel "$1" "$2" "$3")"
    [ "$r" -ge 240 ] && [ "$g" -ge 140 ] && [ "$g" -le 160 ] && [ "$b" -le 10 ]
}
not_orange() { ! is_orange "$@"; }
last_automate() { grep "^automate $1 " "$work/automate" | tail -n 1 | cut -d' ' -f3; }

sleep 1
shot editor
check "screenshot of the open editor kept" [ -s "$artifacts/editor.png" ]
check "left panel is grey 102" is_colour editor 22 80 "102 102 102"
check "right panel is grey 102" is_colour editor 160 75 "102 102 102"
check "read-out plate is grey 153" is_colour editor 225 25 "153 153 153"
check "logo plate is dark red" is_colour editor 283 99 "153 0 0"
check "SLFilter1 marker at program 0's 0.75 (area column 85)" is_orange editor $((24 + 85)) 42
check "SlFilter2 marker at program 0's 1.0 (area column 110)" is_orange editor $((24 + 110)) 58

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
shot dragged
check "the marker moved to area column 110" is_orange dragged $((24 + 110)) 42
check "no marker left at column 10" not_orange dragged $((24 + 10)) 42

# ---- right button held on the upper half of DlQ1 for about 2 s -------------
: >"$work/automate"
xdotool mousemove $((ex + 64 + 21)) $((ey + 96 + 8))
sleep 0.2
xdotool mousedown 3
sleep 2.2
xdotool mouseup 3
# The release reaches the window with some delay (X server, Wine): let it
# settle, collect the host's reports so far (ask reads them), then watch for
# more than two ticks.
sleep 0.6
ask "get 3" "param 3"
at_release=$(grep -c '^automate 3 ' "$work/automate" || true)
sleep 1.2
ask "get 3" "param 3"
mapfile -t steps < <(grep '^automate 3 ' "$work/automate" | cut -d' ' -f3)
echo "fine steps: ${steps[*]:-none}"
in_range() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
check "3 to 6 fine steps for a 2.2 s hold (one per 500 ms)" in_range "${#steps[@]}" 3 6
step_ok() {
    python3 - "$@" <<'PY'
import sys
v = [float(x) for x in sys.argv[1:]]
ok = len(v) >= 2 and all(abs((b - a) - 0.001) < 2e-5 for a, b in zip(v, v[1:]))
sys.exit(0 if ok else 1)
PY
}
check "each tick raised the value by 0.001" step_ok "${steps[@]}"
check "no step after the release" [ "${#steps[@]}" -eq "$at_release" ]
check "the effect holds the last stepped value" [ "$(last_automate 3)" = "${reply#param 3 }" ]

# ---- a second instance with its editor open at the same time ---------------
ask second editor2
read -r _ sx sy <<<"$reply"
nonzero() { [ -n "${1:-}" ] && [ "$1" != 0 ]; }
check "a second instance's editor opens beside the first" nonzero "${sy:-}"

# ---- program change through the dispatcher ---------------------------------
# The second instance's construction asked for a refresh, which blanked the
# read-out; a click on SlFilter2 (already at 1.0) writes it again.
sleep 0.6
xdotool mousemove $((ex + 24 + 110)) $((ey + 64))
sleep 0.2
xdotool click 1
shot before-program
check "the read-out shows text before the program change" [ "$(darkest before-program 232 32 360 56)" -lt 80 ]
ask "program 5" "program"
sleep 0.35
shot program5
check "after program 5 (all 0.0) SLFilter1's marker is at column 10" is_orange program5 $((24 + 10)) 42
check "after program 5 SlFilter2's marker is at column 10" is_orange program5 $((24 + 10)) 58
check "after program 5 DlQ1's dot is at three o'clock" is_colour program5 $((64 + 35)) $((96 + 20)) "187 187 187"
check "after program 5 the read-out is blank" [ "$(darkest program5 232 32 360 56)" -gt 120 ]

second_pixel() { python3 "$here/pixels.py" "$work/$1.ppm" at $((sx + $2)) $((sy + $3)); }
second_orange() {
    local r g b
    read -r r g b <<<"$(second_pixel "$1" "$2" "$3")"
    [ "$r" -ge 240 ] && [ "$g" -ge 140 ] && [ "$g" -le 160 ] && [ "$b" -le 10 ]
}
check "the other instance's editor keeps its own program 0 (0.75)" second_orange program5 $((24 + 85)) 42
: >"$work/automate"
xdotool mousemove $((sx + 24 + 110)) $((sy + 48))
sleep 0.2
xdotool click 1
sleep 0.5
ask "get 0" "param 0"
check "the second editor automates its own instance" grep -q "^automate2 0 1.000000" "$work/automate"
first_silent() { ! grep -q "^automate " "$work/automate"; }
check "the first instance hears nothing of it" first_silent
ask closesecond "second closed"
sleep 0.6 # timers of the second window would fire now if they outlived it

# ---- close, reopen, close the instance with the editor open ---------------
ask close closed
ask children children
check "close destroys the editor window" [ "$reply" = "children 0" ]
ask getrect rect
check "getRect after the last close is 518 x 665" [ "$reply" = "rect 0 0 518 665" ]
ask open open
check "reopen answers 1" [ "$reply" = "open 1" ]
expect_line editor
ask getrect rect
check "getRect after reopening is 158 x 390" [ "$reply" = "rect 0 0 158 390" ]
ask children children
check "one editor window after reopening" [ "$reply" = "children 1" ]
sleep 0.6 # let both timers run on the new window
ask closeinstance "instance closed"
check "effClose with the editor open returns" [ "$reply" = "instance closed" ]
ask children children
check "nothing left behind after effClose" [ "$reply" = "children 0" ]
sleep 0.6 # timers of a leftover window would fire now
ask quit unloaded
check "unloading the library unregisters the editor's window class" [ "$reply" = "unloaded class=0" ]
expect_line bye
check "host still alive after the instance is gone" [ "$reply" = "bye" ]
wait "$host_pid"
rc=$?
host_pid=""
check "host exited cleanly" [ "$rc" = 0 ]
finish
