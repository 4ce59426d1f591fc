# Shared by scripts/play and scripts/test: installs the Debian packages that are missing.
# shellcheck shell=bash

BUILD_PACKAGES=(g++ cmake ninja-build pkgconf qt6-base-dev libsdl2-dev libsdl2-mixer-dev libpulse-dev
                libgtest-dev libgmock-dev fonts-ipafont-gothic)
TEST_PACKAGES=(xvfb xauth xdotool x11-utils imagemagick sox pulseaudio pulseaudio-utils
               clang libclang-rt-14-dev valgrind desktop-file-utils)

ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

jobs() { nproc 2>/dev/null || echo 2; }
