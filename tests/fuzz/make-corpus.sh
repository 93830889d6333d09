#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets from files pondwatch-cli itself writes:
# tests/fuzz/make-corpus.sh PATH/TO/pondwatch-cli
# Tracks a short made-up clip with one and two fish and every kind of overlay, runs the
# event analysis and the blend on the result, and stores small copies under corpus/TARGET.
set -euo pipefail
cli=$(realpath "${1:?usage: tests/fuzz/make-corpus.sh PATH/TO/pondwatch-cli}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ffmpeg -loglevel error -f lavfi -i "color=c=gray:size=64x48:rate=10:duration=1.2,drawbox=x='10+t*30':y=12:w=4:h=4:c=black:t=fill" -c:v mpeg4 clip.avi
common=(--area 2,2,61,45 --zone left=0,0,31,47 --zone right=32,0,63,47 --ruler r=0,0,63,0,10
    --pointdist p=32,24,40,24,5 --average 2 --difference dark --quiet)
"$cli" track clip.avi "${common[@]}" --output single.data
"$cli" track clip.avi "${common[@]}" --fish 2 --output multi.data
"$cli" track clip.avi --area 0,0,63,47 --average 1 --filter 1 --quiet --output plain.data
"$cli" track clip.avi --method blobs --arena 0,0,31,47 --arena-circle 47,24,15:2 \
    --background-frames 5 --difference dark --zone z=0,0,10,10 --quiet --output arenas.data
printf 'header 1\nheader 2\nheader 3\nheader 4\nA,1,x\nB,2\nC,1\n' >events.gfa
"$cli" gfa-events single.data events.gfa --output left.gfadata
"$cli" gfa-events single.data events.gfa --output right.gfadata --offset 1
for t in fuzz_analysis_datafile fuzz_overlays_reader fuzz_export_rows fuzz_stimulus_events \
    fuzz_blend_input fuzz_cli_options; do
    mkdir -p "$here/corpus/$t"
done
for f in single multi plain; do
    cp $f.data "$here/corpus/fuzz_analysis_datafile/$f.data"
    cp $f.data "$here/corpus/fuzz_overlays_reader/$f.data"
done
cp arenas.data "$here/corpus/fuzz_overlays_reader/arenas.data"
cp single.data plain.data "$here/corpus/fuzz_export_rows/"
{ cat single.data; printf '\0'; cat events.gfa; } >"$here/corpus/fuzz_stimulus_events/single-events"
{ cat plain.data; printf '\0'; cat events.gfa; } >"$here/corpus/fuzz_stimulus_events/plain-events"
{ cat left.gfadata; printf '\0'; cat right.gfadata; } >"$here/corpus/fuzz_blend_input/left-right"
{ cat right.gfadata; printf '\0'; cat left.gfadata; } >"$here/corpus/fuzz_blend_input/right-left"
# Options: the command's index (track 0, analyze 1, export 2, gfa-events 3, gfa-blend 4) as
# the first byte, then one argument per line, naming the fuzz target's fixture files.
seed() { local name=$1 command=$2; shift 2; { printf "\\x$(printf %02x "$command")"; printf '%s\n' "$@" | head -c -1; } >"$here/corpus/fuzz_cli_options/$name"; }
seed track 0 v.avi --area 0,0,15,15 --zone z=0,0,7,15 --ruler r=0,0,15,0,10 --pointdist p=8,8,12,8,5 --average 2 --filter 1 --quiet --output o.data
seed track-multi 0 v.avi --area=0,0,15,15 --fish 2 --average 1 --filter 3 --threshold 10.5 --variance 0.5 --difference bright --quiet
seed track-overlays 0 v.avi --overlays-from d.data --start-ms 100 --quiet
seed analyze 1 d.data --variable Speed --window 0,1,0 --variable a --ruler-x r --all-confident
seed analyze-csv 1 d.data --variable RelativeTurnAngle --window 0.5,0.25,1 --variable AbsoluteTurnAngle --variable p --csv
seed export 2 d.data v.avi --filter 5 --quiet
seed export-overlays 2 d.data v.avi --overlays-from d.data --quiet
seed gfa-events 3 d.data g.gfa --output o --offset 1 --window 3
seed gfa-blend 4 l.gfadata r.gfadata --output b.txt
seed help 0 --help
