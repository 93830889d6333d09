#!/usr/bin/env bash
# Times the whole-video background method with arenas against the floor that decoding and
# converting to RGB sets, side by side in one hyperfine run, and prints the ratios of whole runs
# and per frame (the run less its pre-pass, which on these short clips decodes them once):
#   a 6 x 8 plate at 960x720, one fish per round well (target: at most 1.3 times the floor),
#   100 fish in one 1024x1024 arena (target: at most 2 times the floor).
#
# usage: bench/arenas_vs_decode.sh [BUILD_DIR] [RUNS]
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

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target pondwatch-cli >/dev/null
cli="$build/cli/pondwatch-cli"

# A grey textured picture with one dark fish circling in each cell of a ROWS x COLS grid
# (radius a quarter of the cell), in its own phase. Written under a temporary name first.
make_video() { # name width height rows cols seconds
    local name=$1 w=$2 h=$3 rows=$4 cols=$5 seconds=$6
    if [ -f "$out/$name" ]; then return 0; fi
    local cw=$((w / cols)) ch=$((h / rows))
    local inputs=(-f lavfi -i "color=c=0x909090:s=${w}x${h}:r=30:d=$seconds"
        -f lavfi -i "color=c=0x202020:s=16x7:r=30:d=$seconds")
    local graph="[0]noise=alls=12:allf=p[f0];[1]split=$((rows * cols))"
    for ((k = 0; k < rows * cols; ++k)); do graph+="[s$k]"; done
    for ((k = 0; k < rows * cols; ++k)); do
        local cx=$(((k % cols) * cw + cw / 2 - 8)) cy=$(((k / cols) * ch + ch / 2 - 3))
        graph+=";[f$k][s$k]overlay=x='$cx+$((cw / 4))*sin(t*(0.8+0.01*$k)+$k)':y='$cy+$((ch / 4))*cos(t*(0.7+0.013*$k)+2*$k)'[f$((k + 1))]"
    done
    ffmpeg -v error -y "${inputs[@]}" -filter_complex "$graph" -map "[f$((rows * cols))]" \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 250 -f mp4 "$out/$name.part"
    mv "$out/$name.part" "$out/$name"
}

make_video plate48.mp4 960 720 6 8 30
make_video school100.mp4 1024 1024 10 10 20

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) cores"
json="$out/arenas.json"
hyperfine --warmup 1 --runs "$runs" --export-json "$json" \
    -n decode48 "ffmpeg -v error -threads 1 -i $out/plate48.mp4 -pix_fmt rgb24 -sws_flags bicubic -f null -" \
    -n plate48 "$cli track $out/plate48.mp4 --method blobs --area 0,0,959,719 --arena-grid 6x8:round --fish 1 --output $out/plate48.datamulti.txt --quiet" \
    -n decode100 "ffmpeg -v error -threads 1 -i $out/school100.mp4 -pix_fmt rgb24 -sws_flags bicubic -f null -" \
    -n school100 "$cli track $out/school100.mp4 --method blobs --arena 0,0,1023,1023:100 --output $out/school100.datamulti.txt --quiet" \
    >/dev/null
# The pre-pass reports its own time (one more run of each): the per-frame ratio leaves it out.
prepass_of() { "$cli" track "$@" 2>&1 >/dev/null | sed -n 's/.*Whole-video background from [0-9]* frames in \([0-9.]*\) s.*/\1/p'; }
pre48=$(prepass_of "$out/plate48.mp4" --method blobs --area 0,0,959,719 --arena-grid 6x8:round --fish 1 --output "$out/plate48.datamulti.txt")
pre100=$(prepass_of "$out/school100.mp4" --method blobs --arena 0,0,1023,1023:100 --output "$out/school100.datamulti.txt")
python3 - "$json" "$pre48" "$pre100" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
pre = {"plate48": float(sys.argv[2]), "school100": float(sys.argv[3])}
for name, run, target in (("960x720, 48 arenas x 1 fish", "plate48", 1.3),
                          ("1024x1024, 1 arena x 100 fish", "school100", 2.0)):
    d = r["decode" + ("48" if run == "plate48" else "100")]
    t = r[run]
    print(f"{name}: decode floor {d['mean']:.2f} s (+-{d['stddev']:.2f}), "
          f"blobs {t['mean']:.2f} s (+-{t['stddev']:.2f}), ratio {t['mean'] / d['mean']:.2f}; "
          f"pre-pass {pre[run]:.2f} s, per frame {(t['mean'] - pre[run]) / d['mean']:.2f} "
          f"(target {target})")
PY
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
