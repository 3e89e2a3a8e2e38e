#!/usr/bin/env bash
# Runs a command with DISPLAY set to an Xvfb of its own on a free display,
# and ends that Xvfb afterwards. The command's exit status is the script's.
#
#   with-xvfb.sh COMMAND [ARG]...
set -u
. "$(dirname "$0")/../../support/xvfb.sh"
log=$(mktemp /tmp/velmora-xvfb.XXXXXX)
trap 'stop_xvfb; rm -f "$log"' EXIT
if ! start_xvfb 231 299 640x480x24 "$log"; then
    echo "no free display for Xvfb" >&2
    cat "$log" >&2
    exit 1
fi
"$@"
