#!/usr/bin/env bash
# Times `pondwatch-cli track` (Tracking Area = whole frame; one fish, and 3 and 10 fish) against
# the floor that decoding and converting to RGB sets, side by side in one hyperfine run per
# video, and prints the ratios. Also prints the CLI's peak memory on a 30-minute video, which
# must not grow with the video's length.
#
# usage: bench/track_vs_decode.sh [BUILD_DIR] [RUNS]
#        (default: build-release, configured if missing and always brought up to date; 3 runs)
#
# The tracker decodes the next frame on a helper thread while it works on the current one, and
# the floor decodes on one thread: the ratios assume a second core that is free. The load of
# the machine is printed before and after; numbers taken while something else runs are not
# comparable.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-3}
out=bench/out
mkdir -p "$out"

for tool in hyperfine ffmpeg python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
fi
# A stale binary would time old code.
cmake --build "$build" --target pondwatch-cli >/dev/null
cli="$build/cli/pondwatch-cli"

# A grey textured tank with one dark fish swimming a Lissajous path. Written under a temporary
# name first, so an interrupted run never leaves a half video to be reused.
make_video() { # name size seconds
    local name=$1 size=$2 seconds=$3
    if [ -f "$out/$name" ]; then return 0; fi
    ffmpeg -v error -y -f lavfi -i "color=c=0x909090:s=$size:r=30:d=$seconds" \
        -f lavfi -i "color=c=0x202020:s=24x12:r=30:d=$seconds" \
        -filter_complex "[0]noise=alls=12:allf=p[bg];[bg][1]overlay=x='(W-w)/2+(W-w)/2.5*sin(t*0.7)':y='(H-h)/2+(H-h)/2.5*sin(t*1.1)'" \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 -f mp4 "$out/$name.part"
    mv "$out/$name.part" "$out/$name"
}

make_video sd.mp4 640x480 60
make_video hd.mp4 1280x720 60

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) cores"

ratios() { # video width height
    local video=$1 w=$2 h=$3
    local json="$out/$(basename "$video").json"
    local area="--area 0,0,$((w - 1)),$((h - 1))"
    hyperfine --warmup 1 --runs "$runs" --export-json "$json" \
        -n decode "ffmpeg -v error -threads 1 -i $video -pix_fmt rgb24 -sws_flags bicubic -f null -" \
        -n track1 "$cli track $video $area --output $out/bench1.data.txt --quiet" \
        -n track3 "$cli track $video $area --fish 3 --output $out/bench3.data.txt --quiet" \
        -n track10 "$cli track $video $area --fish 10 --output $out/bench10.data.txt --quiet" \
        >/dev/null
    python3 - "$json" "$video" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
d = r["decode"]["mean"]
print(f"{sys.argv[2]}: decode floor {d:.2f} s (+-{r['decode']['stddev']:.2f})")
for name, label in (("track1", "1 fish"), ("track3", "3 fish"), ("track10", "10 fish")):
    t = r[name]
    print(f"  track {label:8s} {t['mean']:.2f} s (+-{t['stddev']:.2f})  "
          f"ratio to the floor {t['mean'] / d:.2f}")
PY
}

ratios "$out/sd.mp4" 640 480
ratios "$out/hd.mp4" 1280 720

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Peak memory: 30 minutes of small video against 1 minute of the same; only the records
# (a few dozen bytes a frame) may add to it.
make_video long.mp4 320x240 1800
make_video short.mp4 320x240 60
peak() { /usr/bin/time -f "%M" "$cli" track "$1" --area 0,0,319,239 --output "$out/mem.data.txt" --quiet 2>&1 >/dev/null | tail -1; }
short_kb=$(peak "$out/short.mp4")
long_kb=$(peak "$out/long.mp4")
echo "peak memory: 1 min ${short_kb} KiB, 30 min ${long_kb} KiB (ratio $(python3 -c "print(f'{$long_kb/$short_kb:.2f}')"))"
