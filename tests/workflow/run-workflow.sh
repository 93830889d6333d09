#!/usr/bin/env bash
# Runs workflow/Snakefile on three small generated videos and checks every output:
#   run-workflow.sh local CLI SOURCE_DIR WORK_DIR   snakemake --cores 2 on this machine
#   run-workflow.sh slurm CLI SOURCE_DIR WORK_DIR   snakemake --slurm on a one-node Slurm cluster
#                                                   started here (scripts/slurm-local.sh, root)
# and passes only when every job went through Slurm. Exit 0 passed, 1 failed, 77 skipped (what
# is missing is said on standard error).
set -euo pipefail
mode=${1:?local or slurm}
cli=$(realpath "${2:?pondwatch-cli}")
source_dir=$(realpath "${3:?source folder}")
work=$(realpath -m "${4:?work folder}")

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIPPED: $*" >&2
    exit 77
}

command -v snakemake >/dev/null || skip "snakemake is not installed (scripts/install-deps.sh --tests)"
"$cli" plot --help >/dev/null 2>&1 || skip "$cli has no plot command"
"$cli" analyze --help 2>/dev/null | grep -q -- --table || skip "$cli analyze has no --table"

rm -rf "$work"
mkdir -p "$work/videos"
cd "$work"

# Three short videos of a dark fish crossing a grey tank, each on its own path.
for i in 1 2 3; do
    ffmpeg -nostdin -loglevel error -y -f lavfi -i \
        "color=c=0x909090:s=160x120:r=25:d=2[tank];color=c=black:s=12x6:r=25:d=2[fish];[tank][fish]overlay=x='10+t*50':y=$((20 + 25 * i))" \
        -c:v mpeg4 -q:v 3 "videos/tank$i.avi"
done
# The batch format: relative paths from the manifest's folder, an empty cell for a default; a
# ruler, so that speeds have a unit.
cat >manifest.csv <<'CSV'
video,area,ruler,average
videos/tank1.avi,"5,5,150,110","tank=5,5,155,5,150",10
videos/tank2.avi,"5,5,150,110","tank=5,5,155,5,150",
videos/tank3.avi,"5,5,150,110","tank=5,5,155,5,150",5
CSV

args=(--snakefile "$source_dir/workflow/Snakefile" --directory "$work"
    --config manifest="$work/manifest.csv" outdir=results pondwatch_cli="$cli")
if [ "$mode" = slurm ]; then
    [ "$(id -u)" -eq 0 ] || skip "starting slurmctld and slurmd needs root"
    command -v slurmctld >/dev/null || skip "slurm-wlm is not installed (scripts/install-deps.sh --tests)"
    cluster="$work/cluster"
    trap '"$source_dir/scripts/slurm-local.sh" stop "$cluster"' EXIT
    SLURM_LOCAL_PORT=$((20000 + RANDOM % 20000)) "$source_dir/scripts/slurm-local.sh" start "$cluster" \
        || fail "the one-node Slurm cluster did not start"
    export SLURM_CONF="$cluster/slurm.conf"
    export USER=${USER:-$(id -un)}
    # Snakemake asks Slurm for job states 3 times in 100 seconds unless told a rate of at most 1
    # per second; on a cluster of its own the test need not spare the controller.
    snakemake "${args[@]}" --slurm --jobs 20 --default-resources slurm_partition=debug \
        --max-status-checks-per-second 1 \
        >snakemake.log 2>&1 || { tail -n 40 snakemake.log >&2; fail "snakemake --slurm failed"; }
else
    snakemake "${args[@]}" --cores 2 >snakemake.log 2>&1 \
        || { tail -n 40 snakemake.log >&2; fail "snakemake --cores 2 failed"; }
fi

# Every output of every video.
for i in 1 2 3; do
    dir="results/tank$i"
    data="$dir/tank$i.data.txt"
    [ -f "$data" ] || fail "$data is missing"
    rows=$(awk 'found && NF { n++ } /^Seconds / { found = 1 } END { print n + 0 }' "$data")
    # 50 frames: the first two opening the video, then 48 tracked.
    [ "$rows" -eq 48 ] || fail "$data has $rows rows, not 48"
    table="$dir/tank$i.table.csv"
    [ "$(head -n 1 "$table")" = "variable,unit,fish,start_s,end_s,n,mean,sd,min,max" ] \
        || fail "$table does not start with the table header: $(head -n 1 "$table")"
    grep -q '^Speed,' "$table" || fail "$table has no Speed row"
    measures="$dir/tank$i.measures.csv"
    head -n 1 "$measures" | grep -q '^fish,arena,well,start_s,end_s,distance,unit,mean_speed,' \
        || fail "$measures does not start with the measures header: $(head -n 1 "$measures")"
    tidy="$dir/tank$i.tidy.csv"
    [ "$(wc -l <"$tidy")" -eq 49 ] || fail "$tidy has not one row per frame"
    for kind in trajectory heatmap; do
        picture="$dir/tank$i.$kind.png"
        [ "$(head -c 8 "$picture" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] \
            || fail "$picture is not a PNG picture"
        identify "$picture" >/dev/null 2>&1 || fail "$picture cannot be read"
    done
done
# One measures table for the manifest, each video's rows led by its name.
for i in 1 2 3; do
    grep -q "^tank$i,1,,,0\." results/measures.csv || fail "results/measures.csv has no row of tank$i"
done
[ "$(head -n 1 results/measures.csv | cut -d, -f1-3)" = "sample,fish,arena" ] \
    || fail "results/measures.csv does not start with sample,fish,arena"
# Nothing left to do: every output is up to date.
snakemake "${args[@]}" --cores 1 --dry-run 2>&1 | grep -q "Nothing to be done" \
    || fail "a second run would do more"

if [ "$mode" = slurm ]; then
    # Each of the eighteen jobs ran through Slurm: a Slurm log per job, and slurmctld saw them
    # end (the combined table is made where snakemake runs).
    for rule in track:3 analyze:3 plot:6 measures:3 trajectories:3; do
        logs=$(find .snakemake/slurm_logs/rule_${rule%:*} -name '*.log' 2>/dev/null | wc -l)
        [ "$logs" -eq "${rule#*:}" ] || fail "rule ${rule%:*}: $logs Slurm job logs, not ${rule#*:}"
    done
    done_jobs=$(grep -c '_job_complete: JobId=[0-9]* done' "$cluster/slurmctld.log" || true)
    [ "$done_jobs" -eq 18 ] || fail "slurmctld saw $done_jobs jobs end, not 18"
fi
echo "PASS: $mode workflow, 3 videos, 18 outputs and the combined table checked"
