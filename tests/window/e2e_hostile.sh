#!/usr/bin/env bash
# The real program in hostile surroundings: no display, a display that names
# no server, an unknown backend, a lock that cannot be made, and under a
# virtual X server: the server killed, the game's connection killed, SIGTERM
# and SIGHUP. Every way out must be prompt, with the promised exit code, and
# must leave the player's records exactly as they were read. Exit 77
# (skipped) when there is no Xvfb, after the checks that need none.
set -u
source "$(dirname "$(realpath "$0")")/../support/xvfb.sh"
ZORBLET=$(realpath "${1:?usage: e2e_hostile.sh path/to/zorblet path/to/sample}")
SAMPLE=$(realpath "${2:?usage: e2e_hostile.sh path/to/zorblet path/to/sample}")
# The test's folder, where "nobody" runs a copy of the program below (when
# the tests run as root): in $TMPDIR, or in /tmp when nobody cannot enter it.
AS_NOBODY=()
BASE=${TMPDIR:-/tmp}
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
    AS_NOBODY=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
    "${AS_NOBODY[@]}" test -x "$BASE" || BASE=/tmp
fi
WORK=$(mktemp -d -p "$BASE" zorblet-e2e-XXXXXX)
chmod 755 "$WORK"
# Whatever way the script ends, no game or X server it started outlives it.
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
# The program starts on the sample pack, in the folder it runs in.
cp -r "$SAMPLE/800x600" "$WORK/"
# What the program and the tools make stays in the test's folder.
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/run" TMPDIR="$WORK"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset ZORBLET_BACKEND SDL_VIDEODRIVER WAYLAND_DISPLAY DISPLAY
# In a sanitizer build the display libraries keep blocks until exit that the
# leak checker would report; the unit tests check the engine's own.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
PROFILES="$XDG_DATA_HOME/Quenvo/ZORBLET/PROFILES"
cd "$WORK"

fail() { echo "FAIL: $*"; [ -f "$WORK/out.txt" ] && cat "$WORK/out.txt"; exit 1; }

# Runs the program to its end; sets RC, MS (milliseconds) and OUT (stderr).
run_once() {
    local start
    start=$(date +%s%N)
    timeout 10 "$@" >"$WORK/out.txt" 2>&1
    RC=$?
    MS=$(( ($(date +%s%N) - start) / 1000000 ))
    OUT=$(cat "$WORK/out.txt")
}
# expect_refusal CODE TEXT...: the run ended at once with CODE, saying TEXTs.
expect_refusal() {
    local code=$1 text
    shift
    [ "$RC" = "$code" ] || fail "exit $RC, expected $code"
    [ "$MS" -lt 2000 ] || fail "took $MS ms"
    for text in "$@"; do
        grep -qF -- "$text" <<<"$OUT" || fail "stderr does not say '$text'"
    done
}

# --- No display ---------------------------------------------------------------
run_once "$ZORBLET"
expect_refusal 3 "DISPLAY is not set" "ZORBLET_BACKEND=headless"
run_once env DISPLAY=:4711 "$ZORBLET"
expect_refusal 3 'no display answers at DISPLAY=":4711"'
run_once env ZORBLET_BACKEND=vulkan "$ZORBLET"
expect_refusal 3 'ZORBLET_BACKEND="vulkan"' '"sdl"' '"headless"'
# The folders are decided (and made) before the display is looked for; the
# records themselves are not written.
[ -z "$(ls -A "$PROFILES" 2>/dev/null)" ] || fail "a refused start touched the records"

# --- No lock ------------------------------------------------------------------
# Nowhere to put the lock: the runtime folder is missing, the user's folder
# under the temporary folder belongs to someone else and there is no data
# home. Needs root to make another user's folder; the player is "nobody",
# who runs a copy of the program in the test's own folder (the build may lie
# in a folder only root may enter).
if [ ${#AS_NOBODY[@]} -gt 0 ]; then
    cp "$ZORBLET" "$WORK/zorblet-copy"
    mkdir -m 1777 "$WORK/tmp"
    mkdir "$WORK/tmp/zorblet-$(id -u nobody)"
    run_once "${AS_NOBODY[@]}" env TMPDIR="$WORK/tmp" \
        XDG_RUNTIME_DIR="$WORK/absent" XDG_DATA_HOME="$WORK/absent" HOME=/nonexistent "$WORK/zorblet-copy"
    expect_refusal 4 "no folder for the lock file could be used" \
        "$WORK/tmp/zorblet-$(id -u nobody): owned by another user"
    rm -f "$WORK/zorblet-copy"
fi
echo "refusals passed"

command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }
command -v xdotool >/dev/null || fail "missing xdotool"

# --- Under a virtual X server -------------------------------------------------
# Each round has its own server, which picks a free display itself.
start_x() {
    xvfb_start "$WORK" || fail "no X server"
}
stop_x() {
    xvfb_stop
}
# Records with bytes of their own, so what the program writes back can be
# compared with what it read.
seed_records() {
    mkdir -p "$PROFILES"
    head -c 1000 /dev/urandom >"$PROFILES/00000100.bin"
    head -c 252 /dev/urandom >"$PROFILES/00050000.bin"
    cp "$PROFILES/00000100.bin" "$WORK/profile.before"
    cp "$PROFILES/00050000.bin" "$WORK/options.before"
    touch -d '2000-01-01' "$PROFILES/00000100.bin" "$PROFILES/00050000.bin"
}
records_rewritten() {
    local name
    for name in 00000100 00050000; do
        [ "$(stat -c %Y "$PROFILES/$name.bin")" -gt 946771200 ] || fail "$name.bin was not written"
    done
    cmp -s "$PROFILES/00000100.bin" "$WORK/profile.before" || fail "the profile changed"
    cmp -s "$PROFILES/00050000.bin" "$WORK/options.before" || fail "the options changed"
}
start_game() {
    # A server that is slow to answer is the server's trouble, not the game's.
    xvfb_answers || fail "the X server at DISPLAY=$DISPLAY does not answer"
    "$ZORBLET" >"$WORK/out.txt" 2>&1 &
    PID=$!
    find_window ZORBLET || fail "no window named ZORBLET"
    sleep 0.3
}
# wait_end CODE: the game ends soon after the blow, with CODE; 10 s leaves
# room for a busy machine and a sanitizer build, and still tells a game that
# ends from one that hangs.
wait_end() {
    local start
    start=$(date +%s%N)
    for _ in $(seq 1 200); do
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$PID" 2>/dev/null; then
        kill -9 "$PID"
        fail "still running 10 s later"
    fi
    wait "$PID"
    RC=$?
    MS=$(( ($(date +%s%N) - start) / 1000000 ))
    [ "$RC" = "$1" ] || fail "exit $RC, expected $1"
}

# The X server dies under the running game: it ends with code 5 at once and
# saves the records first.
seed_records
start_x
start_game
kill -9 "$XVFB"
wait "$XVFB" 2>/dev/null
# Its socket file stays behind and is left alone: the next server given this
# number replaces it, and clearing it here could as well remove that server's
# own, made in the meantime by another test.
wait_end 5
records_rewritten
grep -qF "connection to the display was lost" "$WORK/out.txt" || fail "no word about the lost display"
echo "killed X server: exit 5 after $MS ms, records saved"

# The game's own connection is killed (as a window manager's kill does); the
# lock of the copy that ended this way does not block this start.
seed_records
start_x
start_game
xdotool windowkill "$WIN"
wait_end 5
records_rewritten
echo "killed connection: exit 5 after $MS ms, records saved"

# SIGTERM and SIGHUP close the window as its close box does.
for SIGNAL in TERM HUP; do
    seed_records
    start_game
    kill -s "$SIGNAL" "$PID"
    wait_end 0
    records_rewritten
    echo "SIG$SIGNAL: exit 0 after $MS ms, records saved"
done
stop_x
echo "hostile end-to-end test passed"
