#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for SECONDS
# (default 60) over a scratch copy of its seed corpus in fuzz/corpus/<name>/.
# Exits non-zero on any finding; the input that caused it is kept in build-fuzz/findings/.
#
#   bash scripts/fuzz.sh          about a minute per target, as CI runs it
#   bash scripts/fuzz.sh 1800     half an hour per target
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

seconds=${1:-60}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

need_packages "${BUILD_PACKAGES[@]}" "${SANITIZE_PACKAGES[@]}"
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAN_FUZZ=ON \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2

findings="$PWD/$build/findings"
mkdir -p "$findings"
status=0
for target in "$build"/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target" _fuzz)
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -R "fuzz/corpus/$name/." "$work/"
  echo "== $name: $seconds s" >&2
  # -max_len reaches past the readers' buffers, so that long records are tried.
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=20000 \
      -print_final_stats=1 -artifact_prefix="$findings/$name-" "$work" 2>"$work.log"; then
    status=1
    tail -n 60 "$work.log" >&2
  else
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::new_units_added)' "$work.log" >&2 || true
  fi
  rm -rf "$work" "$work.log"
done
exit $status
