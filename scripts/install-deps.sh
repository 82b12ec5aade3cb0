#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# but only those that dpkg does not already report as installed.
# Sourced by run.sh, test.sh and screenshots.sh; may also be run on its own.
# Runs apt-get directly as root, through sudo otherwise.
#
#   vq_install_deps              the packages of VQ_DEB_PACKAGES
#   vq_install_deps PKG...       the packages named instead, e.g.
#                                vq_install_deps "${VQ_SCREENSHOT_PACKAGES[@]}"

VQ_DEB_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    qt6-translations-l10n xvfb xauth fonts-wqy-zenhei
    libsqlite3-dev sqlite3 zlib1g-dev libssl-dev libasio-dev
    libgtest-dev libgmock-dev
)

# What scripts/screenshots.sh needs besides the build: the virtual X
# server, ImageMagick's identify, and the CJK font the windows fall back on.
VQ_SCREENSHOT_PACKAGES=(
    xvfb xauth imagemagick fonts-wqy-zenhei
)

vq_install_deps() {
    local missing=() pkg wanted=("$@")
    if [ ${#wanted[@]} -eq 0 ]; then
        wanted=("${VQ_DEB_PACKAGES[@]}")
    fi
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi

    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "error: not root and sudo is not available; install as root: ${missing[*]}" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}" || return 1
}

# Run directly: install and report.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    vq_install_deps
fi
