#!/usr/bin/env bash
# The level scene on the SDL backend in a virtual X server: screenshots of the
# real window at chosen frames must equal, pixel for pixel, what the headless
# backend presents for the same frames. The screenshots are kept as
# frame_<n>.png in SHOTS_DIR (default ./scene_shots) for a person to look at.
# Exit 77 (skipped) without Xvfb.
set -u
source "$(dirname "$(realpath "$0")")/../support/xvfb.sh"
SCENE=$(realpath "${1:?usage: scene_xvfb.sh path/to/scene_window sample/800x600 [SHOTS_DIR]}")
SAMPLE=$(realpath "${2:?usage: scene_xvfb.sh path/to/scene_window sample/800x600 [SHOTS_DIR]}")
SHOTS=$(realpath -m "${3:-scene_shots}")
[ -f "$SAMPLE/bmst.bin" ] || { echo "FAIL: no sample pack in $SAMPLE"; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb not installed: skipped"; exit 77; }
for tool in xdotool import compare convert; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
# The scene: the bubble at the edge of the second layer and beneath it,
# beneath the first layer with "Level 1" faded in and at its edge, the change
# of level at frame 36 with the previous picture lent its plane, bands
# opening, the whole band, and the bubble under each of the second level's
# layers once the reveal is over.
FRAMES="15 16 32 34 36 37 41 46 48 64"

WORK=$(mktemp -d -t zorblet-scene-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
# What the program and the tools make stays in the test's folder.
export XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/run" TMPDIR="$WORK"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset SDL_VIDEODRIVER
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
cd "$WORK"

ZORBLET_BACKEND=headless "$SCENE" "$SAMPLE" "$WORK" $FRAMES || { echo "FAIL: headless run"; exit 1; }
unset ZORBLET_BACKEND

xvfb_start "$WORK" || exit 1

fail() { echo "FAIL: $*"; kill "$PID" 2>/dev/null; kill "$XVFB" 2>/dev/null; exit 1; }
coproc SCENE_RUN { "$SCENE" "$SAMPLE" "$WORK" $FRAMES 2>"$WORK/scene.err"; }
PID=$SCENE_RUN_PID
WIN=""
while IFS= read -r -t 60 line <&"${SCENE_RUN[0]}"; do
    case "$line" in
    WAIT)
        for _ in $(seq 1 100); do
            WIN=$(xdotool search --onlyvisible --name '^ZORBLET scene$' 2>/dev/null | head -1)
            [ -n "$WIN" ] && break
            sleep 0.1
        done
        [ -n "$WIN" ] || fail "no window"
        sleep 0.3
        echo go >&"${SCENE_RUN[1]}"
        ;;
    SHOT*)
        n=${line#SHOT }
        import -window "$WIN" "$WORK/shot_$n.png" || fail "no screenshot of frame $n"
        echo ok >&"${SCENE_RUN[1]}"
        ;;
    DONE) break ;;
    *) echo "scene: $line" ;;
    esac
done
wait "$PID"
RC=$?
kill "$XVFB" 2>/dev/null
wait "$XVFB" 2>/dev/null
[ "$RC" = 0 ] || { echo "FAIL: scene returned $RC"; cat "$WORK/scene.err"; exit 1; }

STATUS=0
mkdir -p "$SHOTS" && rm -f "$SHOTS"/*.png
for n in $FRAMES; do
    [ -f "$WORK/shot_$n.png" ] || { echo "FAIL: frame $n was not shot"; STATUS=1; continue; }
    cp "$WORK/shot_$n.png" "$SHOTS/frame_$n.png"
    SIZE=$(identify -format '%wx%h' "$WORK/shot_$n.png")
    [ "$SIZE" = 800x600 ] || { echo "FAIL: frame $n screenshot is $SIZE"; STATUS=1; continue; }
    DIFF=$(compare -metric AE "$WORK/shot_$n.png" "$WORK/headless_$n.ppm" null: 2>&1)
    if [ "$DIFF" != 0 ]; then
        echo "FAIL: frame $n differs from the headless frame in $DIFF pixels (headless_$n.png beside it)"
        convert "$WORK/headless_$n.ppm" "$SHOTS/headless_$n.png"
        STATUS=1
    else
        echo "frame $n: window equals the headless canvas"
    fi
done
echo "screenshots: $SHOTS/frame_<n>.png"
exit $STATUS
