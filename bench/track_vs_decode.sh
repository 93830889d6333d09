#!/usr/bin/env bash
# Times `pondwatch-cli track` (Tracking Area = whole frame; 1, 3 and 10 fish) against the floor
# that decoding and converting to RGB sets, and prints the ratios of wall time and of CPU time
# (user + system) with the targets beside them. Each case is timed in rounds that alternate the
# floor and the tracks, so that a change in the machine's load falls on both; the ratios are of
# the medians. Also prints the CLI's peak memory on a 30-minute video, which must not grow with
# the video's length.
#
# usage: bench/track_vs_decode.sh [BUILD_DIR] [RUNS] [KERNELS]
#        (default: build-release, configured if missing and always brought up to date; 5 rounds;
#        KERNELS=plain times the plain kernels, as PONDWATCH_KERNELS=plain does)
#
# The tracker decodes the next frame on a helper thread while it works on the current one, and
# the floor decodes on one thread: the wall-time ratios assume a second core that is free. The
# load of the machine is printed before and after; numbers taken while something else runs are
# not comparable (the CPU-time ratios suffer least from it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
runs=${2:-5}
kernels=${3:-}
out=bench/out
mkdir -p "$out"

for tool in ffmpeg python3; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (Debian package 'time')" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
fi
# A stale binary would time old code.
cmake --build "$build" --target pondwatch-cli >/dev/null
cli="$build/cli/pondwatch-cli"
if [ -n "$kernels" ]; then
    export PONDWATCH_KERNELS=$kernels
fi

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
make_video fhd.mp4 1920x1080 20

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) cores," \
    "kernels: ${PONDWATCH_KERNELS:-fastest}"

# Rounds of: the floor, then each track; wall and CPU time of each run from wait4().
python3 - "$cli" "$out" "$runs" <<'PY'
import os, statistics, subprocess, sys, time

cli, out, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
cases = [("sd.mp4", 640, 480, {1: 1.1, 3: None, 10: 1.2}, 1.3),
         ("hd.mp4", 1280, 720, {1: 1.1, 3: None, 10: 1.2}, 1.3),
         ("fhd.mp4", 1920, 1080, {1: 1.15}, 1.3)]

def timed(argv):
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        sys.exit(f"bench: {' '.join(argv)} failed ({status})")
    return wall, usage.ru_utime + usage.ru_stime

def target(value, limit):
    if limit is None:
        return ""
    return f" (target {limit:.2f}: {'met' if value <= limit else 'missed'})"

for name, w, h, fish_targets, cpu_target in cases:
    video = os.path.join(out, name)
    commands = {"floor": ["ffmpeg", "-v", "error", "-threads", "1", "-i", video, "-pix_fmt",
                          "rgb24", "-sws_flags", "bicubic", "-f", "null", "-"]}
    for fish in fish_targets:
        commands[fish] = [cli, "track", video, "--area", f"0,0,{w - 1},{h - 1}", "--fish",
                          str(fish), "--output", os.path.join(out, f"bench{fish}.data.txt"),
                          "--quiet"]
    times = {key: [] for key in commands}
    for key, argv in commands.items():  # warm-up: the file in the page cache
        timed(argv)
    for _ in range(runs):
        for key, argv in commands.items():
            times[key].append(timed(argv))
    floor_wall = statistics.median(t[0] for t in times["floor"])
    floor_cpu = statistics.median(t[1] for t in times["floor"])
    print(f"{video} ({w}x{h}): floor {floor_wall:.2f} s wall, {floor_cpu:.2f} s CPU "
          f"(medians of {runs})")
    for fish, limit in fish_targets.items():
        wall = statistics.median(t[0] for t in times[fish])
        cpu = statistics.median(t[1] for t in times[fish])
        label = "1 fish" if fish == 1 else f"{fish} fish"
        print(f"  track {label:8s} {wall:.2f} s wall, {cpu:.2f} s CPU;"
              f" wall ratio {wall / floor_wall:.2f}{target(wall / floor_wall, limit)},"
              f" CPU ratio {cpu / floor_cpu:.2f}"
              f"{target(cpu / floor_cpu, cpu_target if fish == 1 else None)}")
PY

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Peak memory: 30 minutes of small video against 1 minute of the same; only the records
# (a few dozen bytes a frame) may add to it.
make_video long.mp4 320x240 1800
make_video short.mp4 320x240 60
peak() { /usr/bin/time -f "%M" "$cli" track "$1" --area 0,0,319,239 --output "$out/mem.data.txt" --quiet 2>&1 >/dev/null | tail -1; }
short_kb=$(peak "$out/short.mp4")
long_kb=$(peak "$out/long.mp4")
echo "peak memory: 1 min ${short_kb} KiB, 30 min ${long_kb} KiB (ratio $(python3 -c "print(f'{$long_kb/$short_kb:.2f}')"))"
