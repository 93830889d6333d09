#!/usr/bin/env bash
# Times the whole-video background method (`pondwatch-cli track --method blobs`) against the
# floor that decoding and converting to RGB sets, side by side in one hyperfine run per video,
# and prints the ratios: 1 and 10 fish at 640x480, whole runs and per frame (the run less its
# pre-pass; the target is at most 1.3 times the floor).
# Then the pre-pass (K = 50 frames reached by seeking) against the whole run and the decode
# floor on a 10-minute 640x480 video (the target is at most 0.1 of the floor), and the peak memory on 1 and 30 minutes of video,
# which must not grow with the video's length.
#
# usage: bench/blobs_vs_decode.sh [BUILD_DIR] [RUNS]
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

# A grey textured tank with N dark fish swimming Lissajous paths, each in its own phase. Written
# under a temporary name first, so an interrupted run never leaves a half video to be reused.
make_video() { # name size seconds fish
    local name=$1 size=$2 seconds=$3 fish=$4
    if [ -f "$out/$name" ]; then return 0; fi
    local inputs=(-f lavfi -i "color=c=0x909090:s=$size:r=30:d=$seconds")
    local graph="[0]noise=alls=12:allf=p[f0]"
    for ((k = 1; k <= fish; ++k)); do
        inputs+=(-f lavfi -i "color=c=0x202020:s=24x10:r=30:d=$seconds")
        graph+=";[f$((k - 1))][$k]overlay=x='(W-w)/2+(W-w)/2.3*sin(t*0.31*(1+$k*0.07)+$k*1.7)':y='(H-h)/2+(H-h)/2.3*sin(t*0.43*(1+$k*0.05)+$k*0.9)'[f$k]"
    done
    ffmpeg -v error -y "${inputs[@]}" -filter_complex "$graph" -map "[f$fish]" \
        -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 250 -f mp4 "$out/$name.part"
    mv "$out/$name.part" "$out/$name"
}

make_video blobs1.mp4 640x480 60 1
make_video blobs10.mp4 640x480 60 10
make_video blobs10min.mp4 640x480 600 1

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) cores"

area="--area 0,0,639,479"
json="$out/blobs.json"
hyperfine --warmup 1 --runs "$runs" --export-json "$json" \
    -n decode1 "ffmpeg -v error -threads 1 -i $out/blobs1.mp4 -pix_fmt rgb24 -sws_flags bicubic -f null -" \
    -n blobs1 "$cli track $out/blobs1.mp4 $area --method blobs --output $out/blobs1.data.txt --quiet" \
    -n decode10 "ffmpeg -v error -threads 1 -i $out/blobs10.mp4 -pix_fmt rgb24 -sws_flags bicubic -f null -" \
    -n blobs10 "$cli track $out/blobs10.mp4 $area --method blobs --fish 10 --output $out/blobs10.data.txt --quiet" \
    -n classic1 "$cli track $out/blobs1.mp4 $area --output $out/classic1.data.txt --quiet" \
    >/dev/null
# The pre-pass reports its own time (one more run of each): the per-frame ratio leaves it out.
prepass_of() { "$cli" track "$@" 2>&1 >/dev/null | sed -n 's/.*Whole-video background from [0-9]* frames in \([0-9.]*\) s.*/\1/p'; }
pre1=$(prepass_of "$out/blobs1.mp4" $area --method blobs --output "$out/blobs1.data.txt")
pre10=$(prepass_of "$out/blobs10.mp4" $area --method blobs --fish 10 --output "$out/blobs10.data.txt")
python3 - "$json" "$pre1" "$pre10" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
pre = {"1": float(sys.argv[2]), "10": float(sys.argv[3])}
for fish in ("1", "10"):
    d, t = r["decode" + fish], r["blobs" + fish]
    print(f"640x480, {fish:>2} fish: decode floor {d['mean']:.2f} s (+-{d['stddev']:.2f}), "
          f"blobs {t['mean']:.2f} s (+-{t['stddev']:.2f}), ratio {t['mean'] / d['mean']:.2f}; "
          f"pre-pass {pre[fish]:.2f} s, per frame {(t['mean'] - pre[fish]) / d['mean']:.2f} (target 1.3)")
c = r["classic1"]
print(f"640x480,  1 fish: classic {c['mean']:.2f} s, ratio {c['mean'] / r['decode1']['mean']:.2f}")
PY

# The pre-pass reports its own time; the run's is the whole command's.
start=$(date +%s.%N)
log=$("$cli" track "$out/blobs10min.mp4" $area --method blobs --output "$out/blobs10min.data.txt" 2>&1 >/dev/null)
end=$(date +%s.%N)
prepass=$(sed -n 's/.*Whole-video background from [0-9]* frames in \([0-9.]*\) s.*/\1/p' <<<"$log")
decode=$( { /usr/bin/time -f "%e" ffmpeg -v error -threads 1 -i "$out/blobs10min.mp4" -pix_fmt rgb24 -sws_flags bicubic -f null - ; } 2>&1 | tail -1)
python3 -c "
p, s, e, d = $prepass, $start, $end, $decode
print(f'10 min 640x480: pre-pass (K = 50) {p:.2f} s, whole run {e - s:.2f} s, ratio {p / (e - s):.3f}; decode floor {d:.2f} s, pre-pass ratio {p / d:.3f} (target 0.1)')"

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

make_video long.mp4 320x240 1800 1
make_video short.mp4 320x240 60 1
peak() { /usr/bin/time -f "%M" "$cli" track "$1" --area 0,0,319,239 --method blobs --output "$out/mem.data.txt" --quiet 2>&1 >/dev/null | tail -1; }
short_kb=$(peak "$out/short.mp4")
long_kb=$(peak "$out/long.mp4")
echo "peak memory (blobs): 1 min ${short_kb} KiB, 30 min ${long_kb} KiB (ratio $(python3 -c "print(f'{$long_kb/$short_kb:.2f}')"))"
