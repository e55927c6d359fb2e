#!/usr/bin/env bash
# End to end under a virtual X server: starts the real program, finds its
# window, checks its size, position and pixels, checks that a second copy
# leaves at once, closes the window with Alt+F4 and checks the records left in
# the application-data folder. Exit 77 (skipped) when there is no Xvfb.
set -u
XVFB_HELPERS="$(dirname "$(realpath "$0")")/../support/xvfb.sh"
source "$XVFB_HELPERS"
ZORBLET=$(realpath "${1:?usage: e2e_xvfb.sh path/to/zorblet path/to/sample}")
SAMPLE=$(realpath "${2:?usage: e2e_xvfb.sh path/to/zorblet path/to/sample}")
command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }
for tool in xdotool import convert od; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

WORK=$(mktemp -d -t zorblet-e2e-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
# What the program and the tools make stays in the test's folder.
export XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/run" TMPDIR="$WORK"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# The program starts on the sample pack, in the folder it runs in.
cp -r "$SAMPLE/800x600" "$WORK/"
unset ZORBLET_BACKEND SDL_VIDEODRIVER
# In a sanitizer build the display and D-Bus libraries keep blocks until exit
# that the leak checker would report; the unit tests check the engine's own.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export ZORBLET WORK XVFB_HELPERS

# The screen is larger than the game's mode, which this server cannot switch
# to: the game keeps its caption-less window, centred.
cat >"$WORK/inner.sh" <<'INNER'
set -u
source "$XVFB_HELPERS"
fail() { echo "FAIL: $*"; cat "$WORK/out.txt"; kill "$PID" 2>/dev/null; exit 1; }
cd "$WORK"
"$ZORBLET" >"$WORK/out.txt" 2>&1 &
PID=$!

find_window ZORBLET || fail "no window named ZORBLET"
sleep 0.5

# "Position: X,Y (screen: 0)" and "Geometry: WxH" of the client window.
GEOMETRY=$(xdotool getwindowgeometry "$WIN")
read -r X Y < <(sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1 \2/p' <<<"$GEOMETRY")
read -r W H < <(sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' <<<"$GEOMETRY")
[ "$W" = 800 ] && [ "$H" = 600 ] || fail "client size ${W}x${H}, expected 800x600"
[ "$X" = 112 ] && [ "$Y" = 84 ] || fail "window at $X,$Y, expected centred at 112,84"

# The window shows the canvas (all black before anything draws), while the
# white root around it is not.
import -window root "$WORK/screen.png" || fail "no screenshot"
INSIDE=$(convert "$WORK/screen.png" -crop 800x600+112+84 +repage -format '%[fx:maxima]' info:)
WHOLE=$(convert "$WORK/screen.png" -format '%[fx:maxima]' info:)
[ "$INSIDE" = 0 ] || fail "window content not the black canvas (max $INSIDE)"
[ "$WHOLE" != 0 ] || fail "screenshot is black everywhere"

# A second copy returns 0 at once and makes no window. "At once" is judged
# against the 10 s it would run for otherwise, with room for a busy machine.
START=$(date +%s%N)
timeout 10 "$ZORBLET" >"$WORK/second.txt" 2>&1
RC=$?
MS=$(( ($(date +%s%N) - START) / 1000000 ))
[ "$RC" = 0 ] || fail "second copy returned $RC"
[ "$MS" -lt 6000 ] || fail "second copy took $MS ms"
COUNT=$(xdotool search --name '^ZORBLET$' 2>/dev/null | wc -l)
[ "$COUNT" = 1 ] || fail "$COUNT windows named ZORBLET"
kill -0 "$PID" 2>/dev/null || fail "first copy ended"

# Alt+F4 asks the window to close.
xdotool windowfocus --sync "$WIN"
xdotool key alt+F4
for _ in $(seq 1 200); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$PID" 2>/dev/null && fail "still running after Alt+F4"
wait "$PID"
RC=$?
[ "$RC" = 0 ] || fail "first copy returned $RC: $(cat "$WORK/out.txt")"
echo "window checks passed"
INNER
xvfb_start "$WORK" || exit 1
bash "$WORK/inner.sh"
RC=$?
xvfb_stop
[ "$RC" = 0 ] || exit 1

# Each record is saved whole; a fresh record is all zeros, so byte i of the
# file is its scrambling key (number + i) mod 256 alone.
check_record() {
    local file=$1 size=$2 number=$3
    [ -f "$file" ] || { echo "FAIL: $file missing"; exit 1; }
    local actual
    actual=$(stat -c %s "$file")
    [ "$actual" = "$size" ] || { echo "FAIL: $file is $actual bytes, expected $size"; exit 1; }
    od -An -v -tu1 "$file" | tr -s ' ' '\n' | grep -v '^$' |
        awk -v n="$number" '{ if ($1 != (n + NR - 1) % 256) { print "byte " NR-1 " is " $1; bad = 1; exit } }
                            END { exit bad }' || { echo "FAIL: $file scrambling"; exit 1; }
}
PROFILES="$XDG_DATA_HOME/Quenvo/ZORBLET/PROFILES"
check_record "$PROFILES/00000100.bin" 1000 100
check_record "$PROFILES/00050000.bin" 252 50000
[ -d "$XDG_DATA_HOME/Quenvo/ZORBLET/SAVES" ] || { echo "FAIL: no SAVES folder"; exit 1; }
# The HTML log in the saves folder: the report's six sections, and the footer
# (the error count, then the closing time) as its last lines.
LOG="$XDG_DATA_HOME/Quenvo/ZORBLET/SAVES/zorblet.html"
[ -f "$LOG" ] || { echo "FAIL: $LOG missing"; exit 1; }
for section in "System" "Processor" "Video card" "Screen resolution" "Memory status" "Paths"; do
    grep -q "> $section\*\*\*" "$LOG" || { echo "FAIL: no $section section in the log"; cat "$LOG"; exit 1; }
done
mapfile -t FOOTER < <(grep -v '^$' "$LOG" | tail -n 2)
[ "${FOOTER[0]}" = "<B><FONT color= '0000ff'>Total Errors = 0" ] && [[ "${FOOTER[1]}" == "Log file closed: "* ]] &&
    [ "$(grep -c 'Total Errors = ' "$LOG")" = 1 ] || { echo "FAIL: log footer"; cat "$LOG"; exit 1; }
echo "end-to-end test passed"
