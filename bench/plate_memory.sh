#!/usr/bin/env bash
# The peak memory of `pondwatch-cli track` on a 10 x 20 plate (200 round wells, one larva each)
# filmed for 30 minutes at 320x240, 25 frames per second, and the size of its data file. The
# target is a peak under 500 MB: the data file's rows grow with the fish alone and are written
# straight to disk.
#
# usage: bench/plate_memory.sh [BUILD_DIR] [MINUTES]
#        (default: build-release, configured if missing and always brought up to date; 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
minutes=${2:-30}
out=bench/out
mkdir -p "$out"

# Debian's Python, with python3-numpy (the test packages bring it).
python=${PYTHON:-/usr/bin/python3}
command -v ffmpeg >/dev/null || { echo "bench: ffmpeg is missing" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }
"$python" -c 'import numpy' 2>/dev/null || { echo "bench: python3-numpy is missing" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target pondwatch-cli >/dev/null
cli="$build/cli/pondwatch-cli"

video="$out/plate200-${minutes}min.mp4"
if [ ! -f "$video" ]; then
    # Grey frames with a dark 3 x 2 larva wandering in each 16 x 24 cell, piped to ffmpeg.
    "$python" - "$minutes" <<'PY' | ffmpeg -v error -y -f rawvideo -pix_fmt gray -s 320x240 -r 25 \
        -i - -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 250 -f mp4 "$video.part"
import sys
import numpy as np
frames = int(sys.argv[1]) * 60 * 25
rng = np.random.default_rng(3)
background = (140 + rng.integers(-8, 9, size=(240, 320))).astype(np.uint8)
k = np.arange(200)
cx, cy = (k % 20) * 16 + 8, (k // 20) * 24 + 12
phase = rng.uniform(0, 6.3, 200)
out = sys.stdout.buffer
for i in range(frames):
    frame = background.copy()
    a = 0.05 * i + phase
    x = np.rint(cx + 3 * np.cos(a)).astype(int)
    y = np.rint(cy + 3 * np.sin(a)).astype(int)
    for dx in (-1, 0, 1):
        for dy in (0, 1):
            frame[y + dy, x + dx] = 30
    out.write(frame.tobytes())
PY
    mv "$video.part" "$video"
fi

data="$out/plate200.datamulti.txt"
/usr/bin/time -v "$cli" track "$video" --method blobs --difference dark --area 0,0,319,239 \
    --arena-grid 10x20:round --fish 1 --output "$data" --quiet 2>"$out/plate200.time"
peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$out/plate200.time")
echo "10x20 plate, $minutes min at 320x240: peak $((peak / 1024)) MB (target < 500 MB)," \
    "data file $(($(stat -c %s "$data") / 1048576)) MB, $(sed -n 2p "$data") fish," \
    "$(sed -n '/^Time /p' "$data" | wc -w) columns"
