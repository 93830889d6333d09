#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts Pondwatch.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPONDWATCH_BUILD_TESTS=OFF
cmake --build build-release --target pondwatch pondwatch-cli
exec ./build-release/app/pondwatch "$@"
