# Shared by the scripts that run real windows under a virtual X server;
# sourced, not run.

# xvfb_start FOLDER: starts a server that picks a free display itself and
# reports it, so that runs beside other X servers never share one; sets XVFB
# and exports DISPLAY. Returns 1, saying why, when the server did not start.
xvfb_start() {
    rm -f "$1/display"
    exec 3>"$1/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -nolisten tcp >"$1/xvfb.txt" 2>&1 &
    XVFB=$!
    exec 3>&-
    for _ in $(seq 1 100); do
        [ -s "$1/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$1/display" ]; then
        echo "FAIL: Xvfb did not start"
        cat "$1/xvfb.txt"
        kill "$XVFB" 2>/dev/null
        return 1
    fi
    export DISPLAY=":$(head -n 1 "$1/display")"
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
