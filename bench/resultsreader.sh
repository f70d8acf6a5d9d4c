#!/usr/bin/env bash
# Results reader benchmark: writes a 100,000-entry search results file (seven
# attributes per entry) with the writer, parses it with the reader and
# prints entries per second beside the time `wc -l` takes on the same file
# (best of five each, file in the page cache). Not part of the test run.
#
# Usage: bench/resultsreader.sh [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
N=${1:-100000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

g++ -std=c++17 -O2 -I"$ROOT" -o "$WORK/bench" \
  bench/resultsreader/main.cpp directory/base/resultsFile.cpp directory/base/resultRecord.cpp \
  directory/unix/unixResultsFile.cpp

"$WORK/bench" write "$WORK/results.txt" "$N"
echo "file: $N entries, $(stat -c %s "$WORK/results.txt") bytes"
cat "$WORK/results.txt" >/dev/null

read_line=$("$WORK/bench" read "$WORK/results.txt")
echo "reader: $read_line"
reader_s=$(awk '{print $6}' <<<"$read_line")

best=
for _ in 1 2 3 4 5; do
  t0=$(date +%s%N); wc -l "$WORK/results.txt" >/dev/null; t1=$(date +%s%N)
  ns=$((t1 - t0))
  if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
done
wc_s=$(awk -v ns="$best" 'BEGIN {printf "%.4f", ns / 1e9}')
echo "wc -l: seconds $wc_s (process start included)"
awk -v r="$reader_s" -v w="$wc_s" 'BEGIN {printf "reader / wc -l: %.1fx (target: within 10x)\n", r / w}'
