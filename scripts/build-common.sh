#!/usr/bin/env bash
# Shared by run.sh and test.sh: where the sources and the build folder are,
# and how the build folder is configured.

VQ_SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VQ_BUILD_DIR="${VQ_BUILD_DIR:-$VQ_SOURCE_DIR/build}"

vq_configure() {
    cmake -S "$VQ_SOURCE_DIR" -B "$VQ_BUILD_DIR" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_BUILD_GUI=ON -DVQ_BUILD_TESTS=ON "$@"
}

vq_jobs() {
    nproc 2>/dev/null || echo 2
}
