#!/usr/bin/env bash
# Installs what the benchmarks and the valgrind run need, on top of the build
# packages: the X server and probes, the sound server, valgrind, and the headers the
# X probe is built with.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib.sh"
BENCH_PACKAGES=(xvfb x11-utils pulseaudio pulseaudio-utils valgrind
                libx11-dev libxtst-dev libxdamage-dev libxfixes-dev)
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
