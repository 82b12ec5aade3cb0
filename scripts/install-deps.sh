#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# but only those that dpkg does not already report as installed.
# Sourced by run.sh, test.sh and screenshots.sh; may also be run on its own.
# Runs apt-get directly as root, through sudo otherwise.
#
#   vq_install_deps              the packages of VQ_DEB_PACKAGES (and Debian's
#                                npm when no npm command is on the PATH)
#   vq_install_deps PKG...       the packages named instead, e.g.
#                                vq_install_deps "${VQ_SCREENSHOT_PACKAGES[@]}"
#   vq_install_client_modules    the Node.js modules of the client tests
#                                (tests/clients/node_modules, by npm ci)

VQ_DEB_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    qt6-translations-l10n xvfb xauth fonts-wqy-zenhei
    libsqlite3-dev sqlite3 zlib1g-dev libssl-dev libasio-dev
    libgtest-dev libgmock-dev
    freetds-bin python3-pymssql nodejs
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
        # Debian's nodejs comes without npm; NodeSource's nodejs (which
        # conflicts with Debian's npm package) brings its own.
        if ! command -v npm >/dev/null 2>&1; then
            wanted+=(npm)
        fi
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

# The client tests' Node.js modules (tedious), exactly as
# tests/clients/package-lock.json pins them, into tests/clients/node_modules.
# npm ci starts from an empty node_modules each time, so it runs only when
# the lock file differs from the one of the last successful install.
vq_install_client_modules() {
    local dir
    dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/clients" && pwd)" || return 1
    local stamp="$dir/node_modules/.vq-installed-package-lock.json"
    if [ -f "$stamp" ] && cmp -s "$stamp" "$dir/package-lock.json"; then
        return 0
    fi
    echo "Installing the client tests' Node.js modules (npm ci in $dir)"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) || return 1
    cp "$dir/package-lock.json" "$stamp"
}

# Run directly: install and report.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    vq_install_deps
    vq_install_client_modules
fi
