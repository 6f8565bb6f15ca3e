#!/bin/sh
# Builds the fuzzer with clang and runs it for a given time.
#   tests/fuzz/run-fuzz.sh SECONDS [CORPUS_DIR]
# Findings are written to build-fuzz/findings/; the corpus grows in
# CORPUS_DIR (default build-fuzz/corpus).
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=${2:-build-fuzz/corpus}
if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
  sh tests/fuzz/make-corpus.sh build-fuzz/doscar_gen "$corpus"
fi
mkdir -p build-fuzz/findings
# The target works in a scratch folder of its own: absolute paths only.
corpus=$(cd "$corpus" && pwd)
findings=$(cd build-fuzz/findings && pwd)
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
  build-fuzz/fuzz_doscar -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -max_len=65536 -artifact_prefix="$findings/" -print_final_stats=1 "$corpus"
