#!/bin/sh
# Run the layout reader fuzzer. Usage: run-fuzz.sh BUILD-DIR SECONDS
# The kept seed corpus (tests/fuzz/corpus) is only read; new inputs go to a
# scratch folder. A crashing input is kept in BUILD-DIR as crash-*.
set -e
build=$(cd "${1:?usage: run-fuzz.sh BUILD-DIR SECONDS}" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/kivo-fuzz-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$build/fuzz_reader" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -artifact_prefix="$build/" -print_final_stats=1 "$scratch" "$here/corpus"
