#!/usr/bin/env bash
# Fuzzes for real: tests/fuzz/run.sh SECONDS [TARGET...]
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz, then fuzzes each target (all of them when none is named) for SECONDS, one
# after another. The seed corpus is tests/fuzz/corpus/TARGET; inputs that reach new code go
# to build-fuzz/fuzz-corpus/TARGET. A crash, a hang (over 10 s) or running out of memory
# leaves its input in tests/fuzz/crashers/TARGET, where ./test.sh replays it from then on
# (commit it with the fix); fuzzing then goes on for the rest of the time. Ends with one line
# per target: executions and inputs left in crashers/.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_analysis_datafile fuzz_overlays_reader fuzz_export_rows fuzz_stimulus_events
        fuzz_blend_input fuzz_cli_options fuzz_batch_manifest fuzz_results_views)
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPONDWATCH_FUZZ=ON -DPONDWATCH_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "${JOBS:-2}" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=()
for target in "${targets[@]}"; do
    corpus=build-fuzz/fuzz-corpus/$target
    crashers=tests/fuzz/crashers/$target
    log=build-fuzz/fuzz-$target.log
    mkdir -p "$corpus" "$crashers"
    : >"$log"
    before=$(find "$crashers" -type f ! -name '.*' | wc -l)
    executions=0
    end=$((SECONDS + seconds))
    # libFuzzer stops at the first finding; start it again until the time is used up.
    while [ $SECONDS -lt $end ]; do
        left=$((end - SECONDS))
        run=$(mktemp)
        "build-fuzz/tests/fuzz/$target" "$corpus" "tests/fuzz/corpus/$target" \
            -max_total_time="$left" -timeout=10 -rss_limit_mb=2560 -max_len=4096 \
            -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$crashers/" \
            >"$run" 2>&1 || true
        cat "$run" >>"$log"
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run" | tail -n 1)
        executions=$((executions + ${n:-0}))
        rm -f "$run"
    done
    found=$(($(find "$crashers" -type f ! -name '.*' | wc -l) - before))
    summary+=("$target: $executions executions, $found new inputs in $crashers (log: $log)")
done
printf '%s\n' "${summary[@]}"
