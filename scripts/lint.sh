#!/usr/bin/env bash
# Static checks: clang-format (no change needed) and clang-tidy (.clang-tidy's checks) over
# every C++ file of the tree, using the compile commands of a build. Exits non-zero on any
# finding.
#
#   bash scripts/lint.sh [BUILD_DIR]     BUILD_DIR defaults to build/
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

# Configuring needs the build and test libraries; no test runs, so none of their programs.
need_packages "${BUILD_PACKAGES[@]}" "${TEST_BUILD_PACKAGES[@]}" "${LINT_PACKAGES[@]}"
build=${1:-build}
[ -f "$build/compile_commands.json" ] ||
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLAN_WERROR=ON >/dev/null

mapfile -t files < <(git ls-files '*.cpp' '*.hpp')
mapfile -t units < <(git ls-files '*.cpp' | grep -v '^fuzz/')
status=0

echo "clang-format: ${#files[@]} files" >&2
clang-format --dry-run -Werror "${files[@]}" || status=1

# The fuzz targets are built only with clang and their own flags: the build has no commands
# for them, so they get the formatting check alone.
echo "clang-tidy: ${#units[@]} files" >&2
printf '%s\n' "${units[@]}" |
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet 2>/dev/null || status=1

exit $status
