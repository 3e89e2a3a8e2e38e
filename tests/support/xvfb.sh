# Sourced by the test scripts that need a display of their own.
#
#   start_xvfb FIRST LAST SIZE LOG   tries display numbers FIRST..LAST; on
#                                    success DISPLAY is exported and
#                                    xvfb_pid is set, else it returns 1
#   stop_xvfb                        ends that server (safe to call twice)
#   xvfb_args                        an array of further arguments for Xvfb
#                                    (none unless the caller sets it)
#
# Another session may take a free number between the look and the start:
# then that Xvfb exits and the next number is tried. -noreset: the server
# would otherwise reset whenever its last client leaves, and refuse the next
# one for a moment, while instances come and go.
xvfb_pid=""
xvfb_args=()

start_xvfb() {
    local first=$1 last=$2 size=$3 log=$4 n
    for n in $(seq "$first" "$last"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "$size" -nolisten tcp -noreset "${xvfb_args[@]}" >"$log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY=":$n"
            return 0
        fi
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    return 1
}

stop_xvfb() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
}
