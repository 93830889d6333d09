#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in a normal build and in an
# AddressSanitizer + UndefinedBehaviorSanitizer build; then the threaded GUI tests under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc)
status=0

build_and_test() {
    local dir=$1 sanitizer=$2 label=${3:-} target=${4:-all}
    echo "=== build: $dir (sanitizer: ${sanitizer:-none}) ==="
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPONDWATCH_SANITIZER="$sanitizer" >/dev/null
    cmake --build "$dir" -j "$jobs" --target "$target"
    echo "=== tests: $dir ==="
    local args=(--test-dir "$dir" --output-on-failure -j "$jobs")
    [ -n "$label" ] && args+=(-L "$label")
    ctest "${args[@]}" || status=1
}

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"

build_and_test build ""
build_and_test build-asan address
if grep -rqs 'LABELS threaded' tests/*.cmake; then
    build_and_test build-tsan thread threaded threaded_tests
fi
exit $status
