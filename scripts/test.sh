#!/usr/bin/env bash
# Builds the suite and runs every test through ctest; exits non-zero on any failure.
# Installs the Debian packages it needs first (through sudo when not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

build=build
cmake_args=(-DCMAKE_BUILD_TYPE=Release -DVORLAN_WERROR=ON)

need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cmake -S . -B "$build" "${cmake_args[@]}"
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2
