#!/usr/bin/env bash
# Installs what is missing, checks that every C++ file is formatted, builds with warnings as
# errors, and runs every test twice: in a normal build and in an AddressSanitizer +
# UndefinedBehaviorSanitizer build; then the threaded GUI tests under ThreadSanitizer.
# Among them: the fuzz targets replaying their corpus and crashers (label "fuzz", both
# builds) and pondwatch-cli track and export under valgrind memcheck (label "memcheck",
# normal build only). tests/fuzz/run.sh fuzzes for real.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh --tests

jobs=$(nproc)
# Runs on one machine share their compilations: paths inside the checkout are hashed relative
# to it, so another checkout of the same tree reuses them too.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
status=0
passed=0
failed=0

build_and_test() {
    local dir=$1 sanitizer=$2 label=${3:-} target=${4:-all}
    echo "=== build: $dir (sanitizer: ${sanitizer:-none}) ==="
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPONDWATCH_SANITIZER="$sanitizer" \
        -DPONDWATCH_WERROR=ON >/dev/null
    cmake --build "$dir" -j "$jobs" --target "$target"
    echo "=== tests: $dir ==="
    local args=(--test-dir "$dir" --output-on-failure -j "$jobs")
    [ -n "$label" ] && args+=(-L "$label")
    local log
    log=$(mktemp)
    ctest "${args[@]}" 2>&1 | tee "$log" || true
    # "100% tests passed, 0 tests failed out of 13"
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        echo "ctest reported no result for $dir"
        status=1
    else
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
        bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
        passed=$((passed + total - bad))
        failed=$((failed + bad))
        [ "$bad" -eq 0 ] || status=1
    fi
    rm -f "$log"
}

# Every tracked C++ file must be as .clang-format leaves it; one unformatted file or more
# counts as one failure.
check_format() {
    echo "=== format: clang-format --dry-run --Werror ==="
    local files unformatted=()
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files '*.cpp' '*.h')
    else
        mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
    for f in "${files[@]}"; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
    done
    if [ ${#unformatted[@]} -gt 0 ]; then
        printf 'not formatted (run clang-format -i): %s\n' "${unformatted[@]}"
        failed=$((failed + 1))
        status=1
    else
        echo "all ${#files[@]} files formatted"
        passed=$((passed + 1))
    fi
}

check_format

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt, FFmpeg and OpenCV are not instrumented: their own allocations and copies, handed between
# their threads under locks ThreadSanitizer cannot see (QtGui's threaded fills, for one), are
# not checked; everything our code touches is.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/tsan.supp"

build_and_test build ""
build_and_test build-asan address
if grep -rqs 'LABELS threaded' tests/*.cmake; then
    build_and_test build-tsan thread threaded threaded_tests
fi
echo "total: $passed passed, $failed failed"
exit $status
