#!/usr/bin/env bash
# Runs a command with DISPLAY set to an Xvfb of its own on a free display,
# and ends that Xvfb afterwards. The command's exit status is the script's.
#
#   with-xvfb.sh COMMAND [ARG]...
set -u
log=$(mktemp /tmp/velmora-xvfb.XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -f "$log"' EXIT
# Another session may take a free number between the look and the start:
# then this Xvfb exits and the next number is tried. -noreset: the server
# would otherwise reset whenever its last client leaves, and refuse the
# next one for a moment.
for n in $(seq 231 299); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp -noreset >"$log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        DISPLAY=":$n" "$@"
        exit $?
    fi
    wait "$pid" 2>/dev/null
    pid=""
done
echo "no free display for Xvfb" >&2
cat "$log" >&2
exit 1
