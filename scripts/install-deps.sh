#!/usr/bin/env bash
# Installs the Debian packages Pondwatch needs, when any is missing: to build and run it
# (./run.sh), and with --tests also what its tests, benchmarks and workflow checks use
# (./test.sh).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    libavformat-dev libavdevice-dev libavcodec-dev libavutil-dev libswscale-dev
    libopencv-core-dev libopencv-imgproc-dev
)
if [ "${1:-}" = "--tests" ]; then
    packages+=(
        # Test videos, the offscreen and Xvfb windows, timing, formatting, sanitizers, memcheck.
        ffmpeg xvfb xauth openbox hyperfine time clang-format valgrind clang libclang-rt-14-dev
        # Compilations kept between runs of ./test.sh.
        ccache
        # The workflow and its tests: Snakemake, a one-node Slurm cluster, pictures checked.
        snakemake slurm-wlm munge imagemagick
        # Trajectory files read as their users read them; numpy for bench/plate_memory.sh.
        python3-pandas
    )
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--tests]" >&2
    exit 2
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
