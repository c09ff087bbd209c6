#!/bin/sh
# Run a reader fuzzer. Usage: run-fuzz.sh BUILD-DIR SECONDS [TARGET]
# TARGET is fuzz_reader (the default, seeds in corpus/) or fuzz_gdsii (seeds
# in corpus_gdsii/). The kept seed corpus is only read; new inputs go to a
# scratch folder. A crashing input is kept in BUILD-DIR as crash-*.
set -e
build=$(cd "${1:?usage: run-fuzz.sh BUILD-DIR SECONDS [TARGET]}" && pwd)
seconds=${2:-60}
target=${3:-fuzz_reader}
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/corpus"
[ "$target" = fuzz_reader ] || corpus="$here/corpus_${target#fuzz_}"
scratch=$(mktemp -d /tmp/kivo-fuzz-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$build/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -artifact_prefix="$build/" -print_final_stats=1 "$scratch" "$corpus"
