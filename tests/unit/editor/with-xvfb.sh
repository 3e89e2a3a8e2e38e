#!/usr/bin/env bash
# Runs a command with DISPLAY set to an Xvfb of its own on a free display,
# and XAUTHORITY to a file with that server's cookie, and ends that Xvfb
# afterwards. The command's exit status is the script's.
#
#   with-xvfb.sh COMMAND [ARG]...
set -u
. "$(dirname "$0")/../../support/xvfb.sh"
# A desktop's own scale would scale the editor's windows; the tests choose
# theirs.
unset GDK_SCALE
log=$(mktemp /tmp/velmora-xvfb.XXXXXX)
cookies=$(mktemp -d /tmp/velmora-xauth.XXXXXX)
trap 'stop_xvfb; rm -rf "$log" "$cookies"' EXIT
# As a desktop's server does, this one admits only clients that show its
# cookie, which they find where X clients look for it: XAUTHORITY.
cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
xauth -q -f "$cookies/server" add :0 . "$cookie" 2>/dev/null
xvfb_args=(-auth "$cookies/server")
if ! start_xvfb 231 299 640x480x24 "$log"; then
    echo "no free display for Xvfb" >&2
    cat "$log" >&2
    exit 1
fi
export XAUTHORITY=$cookies/client
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie" 2>/dev/null
"$@"
