#!/usr/bin/env bash
# The CLAP plug-ins' editor in a real X window. Starts its own Xvfb on a free
# display, runs the CLAP test host's "gui" command (which embeds the editor
# as Linux CLAP hosts do: gui create, set_scale, get_size, set_parent, show,
# the host's timers on its main thread, flush when the plug-in asks) and
# drives it through the host's command lines and real mouse input
# (xdotool). Screenshots are compared pixel for pixel with the VST 2
# editor's headless pictures of the same state (made by the snapshot tool);
# both stay in ARTIFACTS (clapui-open.png is the open editor at the factory
# values, clapui-open-headless.png the picture it must equal).
#
# Three runs: "Velmora (Key Left)" at 1x while the host processes nothing
# (what the editor sets reaches the host through flush); "Velmora" at the
# host's 2x while a thread of the host processes (through process); and at
# the desktop's 2x (Xft.dpi 192) in a host without timer support.
#
#   run-clapui.sh HOST PLUGIN.clap SNAPSHOT ARTIFACTS_DIR
set -u
unset GDK_SCALE
host=$1
plugin=$2
snapshot=$3
artifacts=${4:-$PWD/artifacts}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$artifacts"

work=$(mktemp -d /tmp/velmora-clapgui.XXXXXX)
. "$here/harness.sh"

start_xvfb 161 230 1300x600x24 "$work/xvfb.log" || { echo "no free display"; failed=1; finish; }

start_host() { # NAME ARG...: a new host, its lines on fd 4, commands on fd 3
    local name=$1
    shift
    transcript=$work/transcript.$name
    rm -f "$work/in" "$work/out"
    mkfifo "$work/in" "$work/out"
    : >"$work/automate"
    env -u LANG -u LC_NUMERIC LC_ALL=C "$host" gui "$plugin" "$@" <"$work/in" >"$work/out" \
        2>"$work/err.$name" &
    host_pid=$!
    exec 3>"$work/in"
    exec 4<"$work/out"
    check "$name: the host loaded the .clap and made the plug-in" expect_line ready 30
}
end_host() { # NAME
    ask quit bye
    local rc=0
    exec 3>&-
    wait "$host_pid" || rc=$?
    host_pid=""
    exec 4<&-
    check "$1: no X error reached the host" bash -c "! grep -q '^xerror' '$transcript'"
    check "$1: the host exited cleanly" [ "$rc" = 0 ]
}
opened() { # NAME W H: open, the editor's place and size
    ask open open
    check "$1: the editor opens in the host's window" [ "$reply" = "open 1" ]
    expect_line editor
    read -r _ ex ey <<<"$reply"
    check "$1: at (0, 0) of the host's window (40, 40)" [ "$ex $ey" = "40 40" ]
    ask size size
    check "$1: get_size answers $2 x $3" [ "$reply" = "size $2 $3" ]
    ask children children
    check "$1: one child window in the host's window" [ "$reply" = "children 1" ]
}

# ================= 1x, nothing processing: the editor's changes through flush ==========
start_host keyleft --plugin com.pemberly.velmora.key-left
opened keyleft 390 158
sleep 1 # past the first refresh tick
shot clapui-open
headless clapui-open-headless --show -1
check "the open editor equals the VST 2 editor's picture at the factory values" \
    same_picture clapui-open clapui-open-headless

drag_slfilter1 clapui-dragged
check "the drag reached the host through flush while nothing processed" \
    grep -q '^flushed$' "$transcript"
headless clapui-dragged-headless press L 34 48 move 134 48 release L 134 48
check "after the drag the window equals the VST 2 editor's picture (read-out 12.8KHz)" \
    same_picture clapui-dragged clapui-dragged-headless

ask "set 0 0.2" "set 0"
ask "set 5 0.75" "set 5"
sleep 0.6 # past a 250 ms tick
shot clapui-hostset
headless clapui-hostset-headless press L 34 48 move 134 48 release L 134 48 \
    set 0 0.2 set 5 0.75 wait 250
check "values the host set move the controls as in the VST 2 editor (within a 250 ms tick)" \
    same_picture clapui-hostset clapui-hostset-headless
check "the host's value moved SLFilter1's marker (area column 30)" is_orange clapui-hostset $((24 + 30)) 42

hold_dlq1 0.3
close_mid_drag
ask children children
check "the editor made again after the close is one child window" [ "$reply" = "children 1" ]

ask close closed
ask children children
check "gui destroy leaves no window in the host's" [ "$reply" = "children 0" ]
end_host keyleft

# ================= the host's 2x, a thread processing: through process() =================
zoom=2
start_host sidechain --plugin com.pemberly.velmora --scale 2 --process
opened sidechain 780 316
sleep 1
shot clapui-2x
headless clapui-2x-headless --scale 2 --show -1
check "at the host's 2x the editor equals the VST 2 editor's picture at 2x" \
    same_picture clapui-2x clapui-2x-headless
drag_slfilter1 clapui-2x-dragged
check "while the host processes, the drag reached it through process, not flush" \
    bash -c "! grep -q '^flushed$' '$transcript'"
headless clapui-2x-dragged-headless --scale 2 press L 68 96 move 268 96 release L 268 96
check "after the drag at 2x the window equals the VST 2 editor's picture" \
    same_picture clapui-2x-dragged clapui-2x-dragged-headless
drag_device_pixels
ask "scale 1" scale
check "set_scale(1) while open is taken" [ "$reply" = "scale 1" ]
expect_line resize
check "and the host is asked for 390 x 158" [ "$reply" = "resize 390 158" ]
ask children children
check "one child window after the scale changed" [ "$reply" = "children 1" ]
end_host sidechain

# ================= the desktop's 2x, no host timers ======================================
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.antialias:\t1\nXft.dpi:\t192\n')"
start_host desktop --plugin com.pemberly.velmora --no-timers
ask open open
check "desktop: without host timers the editor opens" [ "$reply" = "open 1" ]
expect_line editor
read -r _ ex ey <<<"$reply"
expect_line resize
check "desktop: drawn at Xft.dpi's 2x, it asks the host for 780 x 316" [ "$reply" = "resize 780 316" ]
sleep 1
shot clapui-dpi
check "desktop: the editor equals the VST 2 editor's picture at 2x" \
    same_picture clapui-dpi clapui-2x-headless
drag_slfilter1 clapui-dpi-dragged
end_host desktop
finish
