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

echo "clang-tidy: ${#units[@]} files" >&2
printf '%s\n' "${units[@]}" |
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet 2>/dev/null || status=1

# The fuzz targets are built only with clang and their own flags, in the fuzzing build
# (scripts/fuzz.sh), whose commands they are checked with.
mapfile -t fuzzers < <(git ls-files 'fuzz/*.cpp')
if [ -f build-fuzz/compile_commands.json ]; then
  echo "clang-tidy: ${#fuzzers[@]} fuzz targets" >&2
  clang-tidy -p build-fuzz --quiet "${fuzzers[@]}" 2>/dev/null || status=1
elif [ "${CI:-}" = true ]; then
  echo "clang-tidy: no fuzzing build for the fuzz targets: run scripts/fuzz.sh first" >&2
  status=1
else
  echo "clang-tidy: fuzz targets skipped: no fuzzing build (bash scripts/fuzz.sh)" >&2
fi

exit $status
