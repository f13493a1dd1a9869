#!/usr/bin/env bash
# rawcopy against dd bs=4096 (the same reads and writes) on a 200 MB file, to a file and
# through a pipe. Runs interleaved pairs, alternating which goes first, and prints the median
# times and the median of the per-pair ratios. Target: rawcopy at most 1.05 x dd.
# Usage: bench/rawcopy.sh [RAWCOPY] [PAIRS]   (RAWCOPY relative to the source tree)
set -euo pipefail
cd "$(dirname "$0")/.."
rawcopy=${1:-build/rawcopy/rawcopy}
[[ $rawcopy == /* ]] || rawcopy=$PWD/$rawcopy
pairs=${2:-9}
[ -x "$rawcopy" ] || { echo "no rawcopy at $rawcopy (build it first)" >&2; exit 2; }

dir=$(mktemp -d /tmp/rawcopy-bench.XXXXXX)
trap 'rm -rf "$dir"' EXIT
in=$dir/in out=$dir/out
head -c $((200 * 1024 * 1024)) /dev/urandom >"$in"

now() { echo "${EPOCHREALTIME/,/.}"; }
dd_file()      { dd if="$in" of="$out" bs=4096 2>/dev/null; }
rawcopy_file() { "$rawcopy" "$in" >"$out"; }
dd_pipe()      { dd if="$in" bs=4096 2>/dev/null | cat >/dev/null; }
rawcopy_pipe() { "$rawcopy" "$in" | cat >/dev/null; }

timed() { local t0; t0=$(now); "$@"; awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.4f\n", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cmp <("$rawcopy" "$in") "$in" || { echo "rawcopy output differs from its input" >&2; exit 1; }
dd_file; rawcopy_file  # warm the page cache and the output file

printf '%-6s %10s %10s %8s   (%d pairs, 200 MB)\n' target "dd s" "rawcopy s" ratio "$pairs"
status=0
for target in file pipe; do
  d=() r=() q=()
  for ((i = 0; i < pairs; i++)); do
    if ((i % 2)); then
      rt=$(timed rawcopy_$target); dt=$(timed dd_$target)
    else
      dt=$(timed dd_$target); rt=$(timed rawcopy_$target)
    fi
    d+=("$dt") r+=("$rt") q+=("$(awk -v r="$rt" -v d="$dt" 'BEGIN { print r / d }')")
  done
  md=$(printf '%s\n' "${d[@]}" | median)
  mr=$(printf '%s\n' "${r[@]}" | median)
  mq=$(printf '%s\n' "${q[@]}" | median)
  printf '%-6s %10.4f %10.4f %8.3f\n' "$target" "$md" "$mr" "$mq"
  awk -v q="$mq" 'BEGIN { exit !(q <= 1.05) }' || status=1
done
[ "$status" -eq 0 ] && echo "within 1.05 x dd" || echo "SLOWER than 1.05 x dd"
exit "$status"
