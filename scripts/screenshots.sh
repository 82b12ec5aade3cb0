#!/usr/bin/env bash
# scripts/screenshots.sh [folder]
#
# Takes pictures of the server program's windows: the main window after
# start-up, the tray menu, the port dialog, the version box, the login-log
# and active-connections viewers (with a few login rows), the exit
# question, and the account-set manager, recycle bin and attach dialog
# (with a few account sets), as PNG files in the folder (default: build/screenshots, or
# screenshots/ in the build folder VQ_BUILD_DIR names).
#
# Installs what is missing (the build's Debian packages, then Xvfb, xauth,
# ImageMagick and the CJK font), builds the picture program vqscreenshots
# and the installed database backups, and runs vqscreenshots on a virtual
# X display against a throwaway engine instance: HOME, VQSQL_HOME, TMPDIR
# and the XDG folders point into a temporary folder that is removed at the
# end, so neither your home folder nor your default instance is touched.
# Lists the pictures with ImageMagick's identify at the end.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/install-deps.sh"
source "$here/build-common.sh"

folder="${1:-$VQ_BUILD_DIR/screenshots}"
mkdir -p "$folder"
folder="$(cd "$folder" && pwd)"

vq_install_deps
vq_install_deps "${VQ_SCREENSHOT_PACKAGES[@]}"
vq_configure_once
cmake --build "$VQ_BUILD_DIR" --parallel "$(vq_jobs)" --target vqscreenshots installed_databases

scratch="$(mktemp -d "${TMPDIR:-/tmp}/vqshots-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/tmp" "$scratch/runtime"
chmod 700 "$scratch/runtime"

# Old pictures of this script go first, so the listing shows this run only.
rm -f "$folder"/main-window.png "$folder"/tray-menu.png "$folder"/port-dialog.png \
    "$folder"/version-box.png "$folder"/login-log.png "$folder"/active-log.png \
    "$folder"/exit-question.png "$folder"/account-sets.png "$folder"/recycle-bin.png \
    "$folder"/attach-dialog.png "$folder"/unexpected-*.png

# The program has its own 60-second watchdog; timeout is the last resort
# should the X server itself not come up.
status=0
env HOME="$scratch/home" VQSQL_HOME="$scratch/instance" TMPDIR="$scratch/tmp" \
    XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/home/.config" \
    XDG_DATA_HOME="$scratch/home/.local/share" XDG_CACHE_HOME="$scratch/home/.cache" \
    QT_QPA_PLATFORM=xcb LANG=C.UTF-8 \
    timeout -k 5 120 \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$VQ_BUILD_DIR/tools/screenshots/vqscreenshots" "$folder" || status=$?

if ! ls "$folder"/tray-menu.png >/dev/null 2>&1; then
    echo "note: there is no system tray on the virtual display, and the tray menu could not be popped up on its own either"
fi
echo
echo "Pictures in $folder:"
shopt -s nullglob
pictures=("$folder"/*.png)
if [ ${#pictures[@]} -gt 0 ]; then
    identify "${pictures[@]}"
fi
if [ "$status" -ne 0 ]; then
    echo "vqscreenshots ended with status $status" >&2
fi
exit "$status"
