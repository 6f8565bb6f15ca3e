#!/bin/sh
# Benchmarks pdsplit on large generated DOSCARs against cat and cp of the
# same file, measured in the same run (shared machines are noisy: the ratios
# matter more than the seconds).
#
#   bench/run-bench.sh BUILD_DIR DATA_DIR [RUNS] [FIELDS]
#
# With FIELDS (e.g. 1000000000), the fast readers are also checked against
# strtod, and the fast writers against printf, on that many random numbers
# once, after the timings.
#
# DATA_DIR receives the reference files when they are absent:
#   small/   64 atoms x 3001 points x 32 columns (about 76 MB)
#   large/  640 atoms x 3001 points x 32 columns (about 760 MB)
set -eu
build=$(cd "$1" && pwd)
mkdir -p "$2"
data=$(cd "$2" && pwd)
runs=${3:-5}
fields=${4:-}
measure="$build/bench/measure"

make_doscar() {  # folder natom
  if [ ! -f "$data/$1/DOSCAR" ]; then
    mkdir -p "$data/$1"
    echo "generating $data/$1/DOSCAR ($2 atoms)..." >&2
    "$build/doscar_gen" --natom "$2" --ngrid 3001 --npcol 32 --seed 42 "$data/$1/DOSCAR"
  fi
}
make_doscar small 64
make_doscar large 640

row() {  # folder label command...
  folder=$1; label=$2; shift 2
  set -- $("$measure" "$runs" "$data/$folder" "$@")
  awk -v label="$label" -v t="$1" -v rss="$2" -v mb="$mb" -v cp="$cp_time" -v ldos="$ldos_mb" \
    'BEGIN { printf "%-22s %9.1f %9.0f %8.2f %9.0f %9.0f\n", label, t * 1000, mb / t, t / cp, rss / 1024, 1.15 * ldos + 50 }'
}

for folder in small large; do
  doscar="$data/$folder/DOSCAR"
  natom=$(head -c 4 "$doscar" | tr -d ' ')
  mb=$(awk -v b="$(wc -c < "$doscar")" 'BEGIN { print b / 1e6 }')
  ldos_mb=$(awk -v n="$natom" 'BEGIN { print n * 3001 * 33 * 8 / 1048576 }')
  cp_time=$("$measure" "$runs" "$data/$folder" cp DOSCAR copy | cut -d' ' -f1)
  echo
  echo "$folder: $natom atoms x 3001 points x 32 columns, $(printf '%.0f' "$mb") MB, $(nproc) cores"
  printf '%-22s %9s %9s %8s %9s %9s\n' "command" "ms" "MB/s" "x cp" "RSS MB" "RSS cap"
  row "$folder" "cat DOSCAR" cat DOSCAR
  row "$folder" "cp DOSCAR copy" cp DOSCAR copy
  row "$folder" "pdsplit -t" "$build/pdsplit" -t
  row "$folder" "pdsplit -p $natom" "$build/pdsplit" -p "$natom"
  row "$folder" "pdsplit -s1 1 $natom" "$build/pdsplit" -s1 1 "$natom"
  row "$folder" "pdsplit -a" "$build/pdsplit" -a
  rm -f "$data/$folder"/iLDOS* "$data/$folder"/iDOS "$data/$folder"/iSUMDOS "$data/$folder/copy"
done

echo
"$build/bench/numbers_bench" --benchmark_min_time=0.2 2>/dev/null | grep -E "^(read|write)"

if [ -n "$fields" ]; then
  echo
  echo "fast readers against strtod and fast writers against printf on $fields random numbers each:"
  PDSPLIT_FIELD_SAMPLES=$fields "$build/tests/field_test" --gtest_filter='FastPaths.*' | tail -n 3
  PDSPLIT_FIELD_SAMPLES=$fields "$build/tests/format_test" --gtest_filter='FastPaths.*' | tail -n 3
fi
