#!/usr/bin/env bash
# Builds the suite and runs every test through ctest; exits non-zero on any failure.
# Installs the Debian packages it needs first (through sudo when not run as root).
#
#   bash scripts/test.sh              g++ build in build/, warnings as errors
#   bash scripts/test.sh --sanitize   the same tests on a clang build in build-asan/ with
#                                     AddressSanitizer (leaks included) and
#                                     UndefinedBehaviorSanitizer; any report fails the run
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

build=build
cmake_args=(-DCMAKE_BUILD_TYPE=Release -DVORLAN_WERROR=ON -DBUILD_TESTING=ON)

sanitize=false
case "${1:-}" in
  "") ;;
  --sanitize) sanitize=true ;;
  *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

if ! $sanitize; then
  need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

  cmake -S . -B "$build" "${cmake_args[@]}"
  cmake --build "$build" -j2
  ctest --test-dir "$build" --output-on-failure -j2
  exit 0
fi

need_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${SANITIZE_PACKAGES[@]}"
build=build-asan
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_WERROR=ON \
  -DVORLAN_SANITIZE=ON -DBUILD_TESTING=ON
cmake --build "$build" -j2
# Reports go to files, so that one from a program running inside a tmux pane is seen too.
# ncurses keeps its terminal data to process exit by design: only that is not a leak.
reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=1
if [ -n "$(ls -A "$reports")" ]; then
  echo "Sanitizer reports:" >&2
  cat "$reports"/* >&2
  status=1
fi
exit $status
