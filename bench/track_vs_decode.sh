#!/usr/bin/env bash
# Times `pondwatch-cli track` (Tracking Area = whole frame) against the floor that decoding
# and converting to RGB sets, side by side in one run, and prints the ratios. Also prints the
# CLI's peak memory on a 30-minute video, which must not grow with the video's length.
#
# usage: bench/track_vs_decode.sh [BUILD_DIR]     (default: build-release, built if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
out=bench/out
mkdir -p "$out"

if [ ! -x "$build/cli/pondwatch-cli" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target pondwatch-cli
fi
cli="$build/cli/pondwatch-cli"

# A grey textured tank with one dark fish swimming a Lissajous path.
make_video() { # name size seconds
    local name=$1 size=$2 seconds=$3
    [ -f "$out/$name" ] && return
    ffmpeg -v error -y -f lavfi -i "color=c=0x909090:s=$size:r=30:d=$seconds" \
        -f lavfi -i "color=c=0x202020:s=24x12:r=30:d=$seconds" \
        -filter_complex "[0]noise=alls=12:allf=p[bg];[bg][1]overlay=x='(W-w)/2+(W-w)/2.5*sin(t*0.7)':y='(H-h)/2+(H-h)/2.5*sin(t*1.1)'" \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 "$out/$name"
}

make_video sd.mp4 640x480 60
make_video hd.mp4 1280x720 60

ratio() {
    local video=$1 w=$2 h=$3
    local json="$out/$(basename "$video").json"
    hyperfine --warmup 1 --runs 3 --export-json "$json" \
        -n decode "ffmpeg -v error -threads 1 -i $video -pix_fmt rgb24 -sws_flags bicubic -f null -" \
        -n track "$cli track $video --area 0,0,$((w - 1)),$((h - 1)) --output $out/bench.data.txt --quiet" >/dev/null
    python3 - "$json" "$video" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"{sys.argv[2]}: track / decode floor = {r['track'] / r['decode']:.2f}  "
      f"(decode {r['decode']:.2f} s, track {r['track']:.2f} s)")
PY
}

ratio "$out/sd.mp4" 640 480
ratio "$out/hd.mp4" 1280 720

# Peak memory: 30 minutes of small video against 1 minute of the same; only the records
# (a few dozen bytes a frame) may add to it.
make_video long.mp4 320x240 1800
make_video short.mp4 320x240 60
peak() { /usr/bin/time -f "%M" "$cli" track "$1" --area 0,0,319,239 --output "$out/mem.data.txt" --quiet 2>&1 >/dev/null | tail -1; }
short_kb=$(peak "$out/short.mp4")
long_kb=$(peak "$out/long.mp4")
echo "peak memory: 1 min ${short_kb} KiB, 30 min ${long_kb} KiB (ratio $(python3 -c "print(f'{$long_kb/$short_kb:.2f}')"))"
