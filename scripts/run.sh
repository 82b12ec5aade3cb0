#!/usr/bin/env bash
# Installs what is missing, builds the program folder build/program (the
# server, vqsql and the installed database backups) and starts the server
# program in the foreground. Extra arguments go to the program.
#
# Without a display the server runs headless (Qt's offscreen platform): its
# messages go to standard error, and its questions are asked on the
# terminal when there is one. Stop it with Ctrl+C or `kill <pid>`: it
# closes the open login rows and ends.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/install-deps.sh"
source "$here/build-common.sh"

vq_install_deps
vq_configure_once
cmake --build "$VQ_BUILD_DIR" --parallel "$(vq_jobs)" --target program_folder

# The engine's default instance is made once, with an empty sa password,
# and started when it was stopped.
vqsql="$VQ_BUILD_DIR/program/vqsql"
case "$("$vqsql" status)" in
    "not installed") "$vqsql" init ;;
    stopped) "$vqsql" start ;;
esac

# Without a display (ssh session, container) Qt draws off screen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi
exec "$VQ_BUILD_DIR/program/VQTCWSrv" "$@"
