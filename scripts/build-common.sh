#!/usr/bin/env bash
# Shared by run.sh and test.sh: where the sources and the build folder are,
# and how the build folder is configured.

VQ_SOURCE_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VQ_BUILD_DIR="${VQ_BUILD_DIR:-$VQ_SOURCE_DIR/build}"

vq_configure() {
    cmake -S "$VQ_SOURCE_DIR" -B "$VQ_BUILD_DIR" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_BUILD_GUI=ON -DVQ_BUILD_TESTS=ON "$@"
}

# Configures only a build folder that has never been configured: once it
# exists, the build itself runs CMake again when a CMakeLists.txt changed,
# so a second run goes straight to the (incremental) build.
vq_configure_once() {
    if [ -f "$VQ_BUILD_DIR/build.ninja" ] && [ -f "$VQ_BUILD_DIR/CMakeCache.txt" ]; then
        return 0
    fi
    vq_configure "$@"
}

vq_jobs() {
    nproc 2>/dev/null || echo 2
}
