#!/usr/bin/env bash
# Installs what is missing, builds the program folder build/program (the
# server, vqsql and the installed database backups), starts the engine's
# network server in the background and the server program in the
# foreground. Extra arguments go to the program.
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

# The engine's default instance is made once, with an empty sa password.
# It and its network server (TDS, port 1433 as set in its server.conf, for
# the desktop clients and any SQL Server client) are started when they are
# not running; the network server stays in the background after the
# program ends (`vqsql stop` ends both). When it cannot start (the port
# taken, say), the program still runs on the local engine.
vqsql="$VQ_BUILD_DIR/program/vqsql"
if [ "$("$vqsql" status)" = "not installed" ]; then
    "$vqsql" init
fi
case "$("$vqsql" status)" in
    "running, listening on"*) ;;
    *) "$vqsql" start || echo "run.sh: the engine's network server did not start; going on without it" >&2 ;;
esac

# Without a display (ssh session, container) Qt draws off screen.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi
exec "$VQ_BUILD_DIR/program/VQTCWSrv" "$@"
