#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the tests.
# Exits non-zero when the build or any test fails.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/install-deps.sh"
source "$here/build-common.sh"

vq_install_deps
vq_install_client_modules
vq_configure_once
cmake --build "$VQ_BUILD_DIR" --parallel "$(vq_jobs)"

# GUI tests draw off screen; every test makes its own engine instance.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$VQ_BUILD_DIR" --output-on-failure --parallel "$(vq_jobs)" --timeout 300
