#!/bin/sh
# Takes the screenshots of docs/screenshots/ that screenshot_scenes sets up, at 1366x768 under
# Xvfb and openbox:  tests/screenshots/take.sh BUILD_DIR DISPLAY_NUMBER
set -eu
build=$1
display=:$2
out=$(cd "$(dirname "$0")/../../docs/screenshots" && pwd)
scratch=$(mktemp -d)
Xvfb "$display" -screen 0 1366x768x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
for pair in plate:plate-numbers griddialog:arena-grid-dialog fish100:hundred-fish-fit \
    analysis:analysis-window measures:analysis-measures export:export-progress review:review-panel; do
    scene=${pair%%:*}
    name=${pair#*:}
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/screenshot_scenes" "$scene" "$scratch" >"$scratch/$scene.log" 2>&1 &
    pid=$!
    for _ in $(seq 1 240); do
        grep -q READY "$scratch/$scene.log" 2>/dev/null && break
        sleep 0.5
    done
    DISPLAY=$display import -window root "$out/$name.png"
    kill "$pid"
    wait "$pid" || true
done
kill "$wm" "$xvfb"
rm -rf "$scratch"
