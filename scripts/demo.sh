#!/usr/bin/env bash
# Builds the suite and plays the bundled demo movie in the viewer.
# Installs the Debian packages it needs first (through sudo when not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

need_packages "${BUILD_PACKAGES[@]}"
# The tests are left out, so that their libraries are not needed; scripts/test.sh turns
# them back on in the same build.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j2 >/dev/null
exec build/viewer/vorlan-viewer examples/demo.movie
