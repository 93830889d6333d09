#!/usr/bin/env bash
# Live tracking over loopback UDP: a synthetic clip of 10 dark fish (H.264, 30 fps) streamed in
# real time by ffmpeg to `pondwatch-cli live`, which sends its zone events to a UDP port here.
# Prints the session's summary: frames dropped, frames per second, median latency from a
# picture's arrival to its row and to its event.
#   bench/live_latency.sh [WIDTH HEIGHT SECONDS [live options...]]
#   bench/live_latency.sh 640 480 20 --method blobs --warm-up 3
set -euo pipefail
W=${1:-640}; H=${2:-480}; D=${3:-20}; shift $(( $# < 3 ? $# : 3 ))
CLI=${POND_CLI:-build/cli/pondwatch-cli}
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
inputs=(-f lavfi -i "color=c=0x808080:s=${W}x${H}:r=30:d=$D")
graph="[0:v]noise=alls=8:allf=t[bg0];"
for k in $(seq 1 10); do
    inputs+=(-f lavfi -i "color=c=0x141414:s=$((W / 40))x$((W / 100)):r=30:d=$D")
    graph+="[bg$((k - 1))][$k:v]overlay=x='$W/2+$W/2.6*sin(t*0.$((k + 2))+$k)'"
    graph+=":y='$H/2+$H/2.6*cos(t*0.$((k + 1))*1.3+$k*2)'[bg$k];"
done
ffmpeg -nostdin -loglevel error -y "${inputs[@]}" -filter_complex "${graph}[bg10]format=yuv420p[v]" \
    -map "[v]" -c:v libx264 -preset veryfast -tune zerolatency -g 30 -bf 0 "$dir/clip.ts"
port=$((20000 + RANDOM % 20000))
python3 -c "
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('127.0.0.1', $port + 1)); s.settimeout(5)
try:
    while True: s.recv(4096)
except OSError: pass" &
"$CLI" live "udp://127.0.0.1:$port" --output "$dir/live.datamulti.txt" \
    --events "udp://127.0.0.1:$((port + 1))" --fish 10 --area "0,0,$((W - 1)),$((H - 1))" \
    --zone "left=0,0,$((W / 2 - 1)),$((H - 1))" --zone "top=0,0,$((W - 1)),$((H / 2 - 1))" \
    "$@" 2>"$dir/err" &
live=$!
hex=$(printf '%04X' "$port")
for _ in $(seq 1 100); do grep -q ":$hex 00000000:0000" /proc/net/udp && break; sleep 0.1; done
ffmpeg -nostdin -loglevel error -re -i "$dir/clip.ts" -c copy -f mpegts "udp://127.0.0.1:$port?pkt_size=1316"
sleep 1
kill -INT "$live"
wait "$live"
grep "rows written" "$dir/err"
