#!/bin/sh
# Run every benchmark program of a build folder and print its figures.
set -eu
build=${1:-build-bench}
status=0
for program in "$build"/bench/*_bench; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" || status=1
done
exit $status
