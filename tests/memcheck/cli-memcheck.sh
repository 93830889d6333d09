#!/usr/bin/env bash
# One clip under valgrind memcheck: makes a short clip with the ffmpeg command line, then runs
# pondwatch-cli track on it once per filter size given and export on the first result. Any
# invalid read or write, use of uninitialised memory or bad free fails the test; so does a
# track that does not finish with exit code 0. The export may refuse a size its encoder does
# not take (it still decodes and draws every frame first). The whole-video background method
# runs once too, in two round arenas.
#   cli-memcheck.sh CLI WORKDIR NAME CODEC PIXFMT WIDTH HEIGHT CONTAINER FILTERS [AREA [FORMAT]]
# FILTERS is comma-separated; AREA (X1,Y1,X2,Y2) defaults to the whole frame; FORMAT is the
# export's --format (mpeg when not given).
set -euo pipefail
cli=$1 work=$2 name=$3 codec=$4 pixfmt=$5 width=$6 height=$7 container=$8 filters=$9
area=${10:-0,0,$((width - 1)),$((height - 1))}
format=${11:-mpeg}
mkdir -p "$work"
cd "$work"
clip=$name.$container
rm -f "$clip" "$clip".*
# Three frames of a moving dark square on a textured background.
ffmpeg -loglevel error -y -f lavfi \
    -i "testsrc=size=${width}x${height}:rate=10:duration=0.3,drawbox=x='5+t*20':y=3:w=6:h=6:c=black:t=fill" \
    -c:v "$codec" -pix_fmt "$pixfmt" "$clip"

memcheck() {
    local log=$1
    shift
    local status=0
    valgrind -q --error-exitcode=99 --log-file="$log" "$@" >/dev/null 2>"$log.stderr" || status=$?
    if [ "$status" -eq 99 ] || grep -q 'Invalid\|uninitialised\|free()' "$log"; then
        echo "memcheck errors in: $*"
        cat "$log"
        exit 1
    fi
    return "$status"
}

# A zone one pixel high and a point distance, so that the export draws them.
overlays=(--zone "line=0,$((height / 2)),$((width - 1)),$((height / 2))" --ruler "r=0,0,$((width - 1)),0,10"
    --pointdist "p=$((width / 2)),$((height / 2)),$((width / 2 + 3)),$((height / 2)),5")
first=""
IFS=, read -ra sizes <<<"$filters"
for filter in "${sizes[@]}"; do
    out=$name-f$filter.data
    status=0
    memcheck "track-f$filter.vg" "$cli" track "$clip" --area "$area" "${overlays[@]}" \
        --average 2 --filter "$filter" --difference dark --quiet --output "$out" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "track with filter $filter ended with $status:"
        cat "track-f$filter.vg.stderr"
        exit 1
    fi
    [ -n "$first" ] || first=$out
done
# The whole-video background method, in two round arenas (its kernels are not the row
# kernels, so once is enough).
if [ "${PONDWATCH_KERNELS:-}" != plain ]; then
    status=0
    memcheck track-blobs.vg "$cli" track "$clip" --area "$area" --method blobs \
        --arena-grid 1x2:round --fish 1 --difference dark --quiet --output "$name-blobs.data" || status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 7 ]; then # 7: nothing found in the clip
        echo "track --method blobs ended with $status:"
        cat "track-blobs.vg.stderr"
        exit 1
    fi
fi
memcheck export.vg "$cli" export "$first" "$clip" --filter "${sizes[0]}" --format "$format" \
    --quiet || true
echo "$name: memcheck clean (track with filters $filters, export as $format)"
