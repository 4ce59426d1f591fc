# Shared by scripts/play and scripts/test: installs the Debian packages that are missing.
# shellcheck shell=bash

# Building and running the game (on X, and on Wayland with Qt's plugin for it).
BUILD_PACKAGES=(g++ cmake ninja-build pkgconf qt6-base-dev libxcb1-dev
                libpulse-dev libsndfile1-dev
                fonts-ipafont-gothic fonts-mplus
                qt6-wayland)
# Testing it: the unit test frameworks, an X server, a Wayland compositor and two sound
# servers (PulseAudio; PipeWire with its pulse server) of the tests' own,
# screenshots and sound measurements, the sanitizer and fuzzer runtimes, the metadata checkers.
TEST_PACKAGES=(libgtest-dev
               xvfb xdotool x11-utils imagemagick
               pulseaudio pulseaudio-utils sox
               clang libclang-rt-dev
               desktop-file-utils appstream groff-base
               weston pipewire pipewire-pulse wireplumber dbus-daemon)

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

# Warnings fail the build only when asked (ZENKORA_WERROR=1, as CI does): a newer
# compiler or Qt than any tried so far must not stop a player's build.
warnings_as_errors() { [ "${ZENKORA_WERROR:-0}" = 1 ] && echo ON || echo OFF; }
