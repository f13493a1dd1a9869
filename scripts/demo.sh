#!/usr/bin/env bash
# Builds the suite and plays the bundled demo movie in the viewer.
# Installs the Debian packages it needs first (through sudo when not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

need_packages "${BUILD_PACKAGES[@]}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 >/dev/null
exec build/viewer/vorlan-viewer examples/demo.movie
