# Shared by the scripts that run real windows under a virtual X server;
# sourced, not run.

# xvfb_start FOLDER: starts a server that picks a free display itself and
# reports it, so that runs beside other X servers never share one; sets XVFB
# and exports DISPLAY once the server answers a client. Returns 1, saying why,
# when the server did not start or does not answer.
#
# -noreset: left to itself the server starts over whenever its last client
# leaves (a window tool's query, a game that ended or was killed), and drops
# a client that connects meanwhile: the next game would find no display.
xvfb_start() {
    rm -f "$1/display"
    exec 3>"$1/display"
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -wr -nolisten tcp >"$1/xvfb.txt" 2>&1 &
    XVFB=$!
    exec 3>&-
    # The number is written, ended by a newline, once the server is set up.
    for _ in $(seq 1 300); do
        [ "$(wc -l <"$1/display")" -ge 1 ] && break
        kill -0 "$XVFB" 2>/dev/null || break
        sleep 0.1
    done
    if [ "$(wc -l <"$1/display")" -lt 1 ]; then
        echo "FAIL: Xvfb did not start"
        cat "$1/xvfb.txt"
        xvfb_stop
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$1/display")"
    if ! xvfb_answers; then
        echo "FAIL: Xvfb reported DISPLAY=$DISPLAY but does not answer there"
        cat "$1/xvfb.txt"
        xvfb_stop
        return 1
    fi
}

# xvfb_answers: waits up to 30 s for the server at DISPLAY to answer a
# client, so that a slow server is not taken for a fault of the program
# under test. Returns 1 when it never does or has ended.
xvfb_answers() {
    for _ in $(seq 1 300); do
        timeout 10 xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        kill -0 "$XVFB" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

xvfb_stop() {
    kill "$XVFB" 2>/dev/null
    wait "$XVFB" 2>/dev/null
}

# find_window NAME: sets WIN to the first window of that exact name, waiting
# up to 10 s for it; empty when none came.
find_window() {
    WIN=""
    for _ in $(seq 1 100); do
        WIN=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$WIN" ] && return 0
        sleep 0.1
    done
    return 1
}
