#!/usr/bin/env bash
# The LV2 plug-in's editor in a real X window. Starts its own Xvfb on a free
# display, runs the LV2 test host (which embeds the UI from the bundle as
# LV2 hosts do: ui:parent, ui:resize, ui:touch, idle calls, port events)
# and drives it through the host's command lines and real mouse input
# (xdotool). Screenshots are compared pixel for pixel with the VST 2
# editor's headless pictures of the same state (made by the snapshot tool);
# both stay in ARTIFACTS (lv2ui-open.png is the open editor at the factory
# values, lv2ui-open-headless.png the VST 2 editor's picture it must equal).
# Then jalv.gtk3, a real LV2 host, embeds it too (lv2ui-jalv-gtk3.png).
#
#   run-lv2ui.sh HOST BUNDLE_DIR SNAPSHOT ARTIFACTS_DIR
set -u
host=$1
bundle=$2
snapshot=$3
artifacts=${4:-$PWD/artifacts}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artifacts"

work=$(mktemp -d /tmp/velmora-lv2gui.XXXXXX)
jalv_pid=""
jackd_pid=""
. "$here/harness.sh"

end_more() {
    [ -n "$jalv_pid" ] && kill "$jalv_pid" 2>/dev/null
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null
}

start_xvfb 231 300 640x480x24 "$work/xvfb.log" || { echo "no free display"; failed=1; finish; }

mkfifo "$work/in" "$work/out"
: >"$work/automate"
env -u LANG -u LC_NUMERIC LC_ALL=C "$host" "$bundle" <"$work/in" >"$work/out" 2>"$work/err.host" &
host_pid=$!
exec 3>"$work/in"
exec 4<"$work/out"

first_write() { grep "^write $1 " "$transcript" | head -n 1 | cut -d' ' -f3; }
last_write() { grep "^write $1 " "$transcript" | tail -n 1 | cut -d' ' -f3; }

check "the host loaded the UI binary from the bundle" expect_line ready 30
[ "$failed" = 0 ] || finish

# ---- open: the factory values --------------------------------------------
ask open open
check "instantiate with ui:parent answers a UI" [ "$reply" = "open 1" ]
check "the UI asked the host for its size, 390 x 158 (ui:resize)" grep -q "^resize 390 158$" "$transcript"
expect_line editor
read -r _ ex ey <<<"$reply"
check "the UI's window lies at (0, 0) of the host's window (40, 40)" [ "$ex $ey" = "40 40" ]
ask children children
check "one child window in the host's window" [ "$reply" = "children 1" ]
sleep 1
shot lv2ui-open
headless lv2ui-open-headless --show -1
check "the open editor equals the VST 2 editor's picture at the factory values" \
    same_picture lv2ui-open lv2ui-open-headless

# ---- a drag writes the control in Hz, one touch gesture ------------------
drag_slfilter1 lv2ui-dragged
headless lv2ui-dragged-headless press L 34 48 move 134 48 release L 134 48
check "after the drag the window equals the VST 2 editor's picture (read-out 12.8KHz)" \
    same_picture lv2ui-dragged lv2ui-dragged-headless
check "the press wrote 15 Hz to low_frequency" [ "$(first_write 0)" = 15 ]
check "the drag ended at 15360 Hz" [ "$(last_write 0)" = 15360 ]

# ---- the host's values move the controls ---------------------------------
ask "port 0 60" "port 0"
ask "port 5 75" "port 5"
sleep 0.6 # past a 250 ms tick
shot lv2ui-hostset
headless lv2ui-hostset-headless press L 34 48 move 134 48 release L 134 48 \
    set 0 0.2 set 5 0.75 wait 250
check "60 Hz and 75 % from the host show as the VST 2 editor shows 0.2 and 0.75" \
    same_picture lv2ui-hostset lv2ui-hostset-headless
check "a value the host sent moved SLFilter1's marker (area column 30)" is_orange lv2ui-hostset $((24 + 30)) 42
ask "get 0" "param 0"
check "60 Hz is the sweep position 0.2" [ "$reply" = "param 0 0.200000" ]

# ---- fine steps with the right button: 500 ms ticks ----------------------
hold_dlq1 0.3
check "the fine steps wrote Q in percent" grep -qE "^write 3 90\.[0-9]+$" "$transcript"

# ---- the filter type: the dial writes the choice and stays where it was put
: >"$work/automate"
xdotool mousemove $((ex + 24 + 5)) $((ey + 96 + 33))
sleep 0.2
xdotool click 1
sleep 0.6
shot lv2ui-type
ask "get 3" "param 3"
q=${reply#param 3 }
check "the dial wrote the choice it picks, 1 (Low)" [ "$(last_write 2)" = 1 ]
headless lv2ui-type-headless press L 34 48 move 134 48 release L 134 48 \
    set 0 0.2 set 5 0.75 set 3 "$q" wait 250 press L 29 129 release L 29 129
check "the dial stays where the click put it when the host sends the choice back" \
    same_picture lv2ui-type lv2ui-type-headless

# ---- close, a host without ui:parent ------------------------------------------
ask close closed
ask children children
check "cleanup destroys the UI's window" [ "$reply" = "children 0" ]
ask openbad open
check "without ui:parent instantiate answers no UI" [ "$reply" = "open 0" ]

# ---- the host's scale (ui:scaleFactor), ahead of the desktop's -----------
# The desktop asks for 3x (Xft.dpi 288); a host that gives ui:scaleFactor
# has the last word, with the same nearest-of-1, 1.5, 2 and 3 rule.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t288\n')"
for scaled in "1 390 158" "1.5 585 237" "2 780 316" "1.25 585 237" "0.5 390 158" "-"; do
    read -r factor width height <<<"$scaled"
    [ "$factor" = - ] && factor="" width=1170 height=474
    ask "open $factor" open
    expect_line size
    size=$reply
    ask close closed
    check "with ${factor:+ui:scaleFactor $factor and }Xft.dpi 288 the UI opens at $width x $height" \
        [ "$size" = "size $width $height" ]
    check "and asks the host for that size (ui:resize)" \
        grep -q "^resize $width $height$" "$transcript"
done
xprop -root -remove RESOURCE_MANAGER

# ---- a host with floating-point exceptions unmasked ----------------------
# Every call of the UI (instantiate, port events of hostile values, idle
# with the timers and the mouse, cleanup) on a thread whose invalid
# operation, division by zero and overflow trap, at 1x and 2x.
ask unmask unmasked
for factor in 1 2; do
    ask "open $factor" open
    expect_line editor
    read -r _ ex ey <<<"$reply"
    for value in nan inf -inf 3.4028235e38 -3.4028235e38 1e-40; do
        for n in 0 2 3 4 7; do ask "port $n $value" "port $n"; done
    done
    zoom=$factor
    xdotool mousemove $((ex + zoom * 34)) $((ey + zoom * 48)) mousedown 1
    for col in 35 65 95 110; do
        sleep 0.05
        xdotool mousemove $((ex + zoom * (24 + col))) $((ey + zoom * 48))
    done
    xdotool mouseup 1
    sleep 0.6 # both timers
    ask close closed
done
zoom=1
check "no call of the UI trapped with exceptions unmasked" kill -0 "$host_pid"
check "no call of the UI left the host's floating-point controls changed" \
    bash -c "! grep '^fpchanged' '$transcript'"
ask quit bye
end_rc=0
exec 3>&-
wait "$host_pid" || end_rc=$?
host_pid=""
check "no X error reached the host" bash -c "! grep -q '^xerror' '$transcript'"
check "the host exited cleanly" [ "$end_rc" = 0 ]

# ================= jalv.gtk3: a real LV2 host embeds the UI ====================
# jalv runs the plug-in as a JACK client (a dummy JACK server of our own) and
# embeds the UI in its GTK window through suil, below its menu. The values
# it was started with reach the UI as the host's port events.
if ! command -v jalv.gtk3 >/dev/null || ! command -v jackd >/dev/null; then
    echo "jalv.gtk3 or jackd is not installed (scripts/install-deps.sh): the part with jalv is not run"
    finish
fi
mkdir -p "$work/lv2"
cp -r "$bundle" "$work/lv2/velmora.lv2"
export LV2_PATH="$work/lv2:/usr/lib/lv2" JACK_DEFAULT_SERVER="velmora-ui-$$" JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 256 >"$work/err.jackd" 2>&1 &
jackd_pid=$!
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jalv.gtk3 -c low_frequency=60 -c attack=75 urn:pemberly:velmora >"$work/err.jalv" 2>&1 &
jalv_pid=$!
shown=""
for _ in $(seq 100); do
    # The UI's own window carries the editor's window text.
    shown=$(xdotool search --name '^Harrowby$' 2>/dev/null | head -n 1)
    [ -n "$shown" ] && break
    sleep 0.1
done
check "jalv.gtk3 shows the UI in its window" [ -n "$shown" ]
# GTK lays its window out after the UI first shows, which moves the UI:
# its place counts once two looks 0.3 s apart agree.
ui_place() { xwininfo -id "${shown:-0}" 2>/dev/null |
    sed -n 's/.*Absolute upper-left [XY]: *//p' | tr '\n' ' '; }
place=$(ui_place)
for _ in $(seq 30); do
    sleep 0.3
    now=$(ui_place)
    [ "$now" = "$place" ] && break
    place=$now
done
read -r ex ey <<<"$place"
echo "the UI lies at ($ex, $ey) in jalv.gtk3's window"
sleep 1
shot lv2ui-jalv-gtk3
headless lv2ui-jalv-gtk3-headless --show -1 set 0 0.2 set 5 0.75 wait 250
check "in jalv.gtk3 the UI at 60 Hz and 75 % equals the VST 2 editor's picture at 0.2 and 0.75" \
    same_picture lv2ui-jalv-gtk3 lv2ui-jalv-gtk3-headless
xdotool mousemove $((ex + 34)) $((ey + 48)) mousedown 1
for col in 35 65 95 110; do
    sleep 0.05
    xdotool mousemove $((ex + 24 + col)) $((ey + 48))
done
sleep 0.2
xdotool mouseup 1
sleep 0.5
shot lv2ui-jalv-gtk3-dragged
headless lv2ui-jalv-gtk3-dragged-headless set 0 0.2 set 5 0.75 wait 250 \
    press L 34 48 move 134 48 release L 134 48
check "a drag in jalv.gtk3 moves the slider as in the VST 2 editor" \
    same_picture lv2ui-jalv-gtk3-dragged lv2ui-jalv-gtk3-dragged-headless
kill "$jalv_pid" 2>/dev/null
wait "$jalv_pid" 2>/dev/null
jalv_pid=""
kill "$jackd_pid" 2>/dev/null
wait "$jackd_pid" 2>/dev/null
jackd_pid=""
finish
