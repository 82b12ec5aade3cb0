#!/usr/bin/env bash
# Installs what is missing, builds the program folder build/program and
# starts the server program. Extra arguments go to the program.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/install-deps.sh"
source "$here/build-common.sh"

vq_install_deps
vq_configure
cmake --build "$VQ_BUILD_DIR" --parallel "$(vq_jobs)" --target VQTCWSrv vqsql

# The engine's default instance is made once, with an empty sa password.
vq_home="${VQSQL_HOME:-$HOME/.local/share/vqsql}"
if [ ! -f "$vq_home/Data/master.mdf" ]; then
    "$VQ_BUILD_DIR/program/vqsql" --init
fi

# Without a display (ssh session, container) Qt draws off screen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi
exec "$VQ_BUILD_DIR/program/VQTCWSrv" "$@"
