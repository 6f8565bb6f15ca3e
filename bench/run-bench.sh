#!/bin/sh
# Benchmarks pdsplit on large generated DOSCARs against cat and cp of the
# same file, measured in the same run (shared machines are noisy: the ratios
# matter more than the seconds), with the peak resident memory of each
# command against the bound the projected modes keep whatever the size of
# the file: 64 MiB plus the tables they write (for -a, one table per
# thread).
#
#   bench/run-bench.sh BUILD_DIR DATA_DIR [RUNS] [FIELDS]
#
# With FIELDS (e.g. 1000000000), the fast readers are also checked against
# strtod, and the fast writers against printf, on that many random numbers
# once, after the timings.
#
# DATA_DIR receives the reference files when they are absent, NATOM atoms
# x 3001 points x 32 columns each, in DATA_DIR/atomsNATOM:
#     64 atoms: about 76 MB      640 atoms: about 761 MB
#   1600 atoms: about 1.9 GB    3200 atoms: about 3.8 GB
# SIZES (e.g. SIZES="640 1600") picks some of them.
# bench/elements-bench.sh times the element sums (-e) and --orbitals=l
# against -s1 on the same files.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
data=$(cd "$2" && pwd)
runs=${3:-5}
fields=${4:-}
sizes=${SIZES:-64 640 1600 3200}
measure="$build/bench/measure"
threads=$(nproc)
[ "$threads" -gt 8 ] && threads=8

make_doscar() {  # folder natom
  "$here/generated-doscar.sh" "$build" "$data/$1" "$2"
}

# The text of one table: 3001 lines of 11 + 32 x 12 + 1 characters.
table_mb=$(awk 'BEGIN { print 3001 * (11 + 32 * 12 + 1) / 1048576 }')

row() {  # folder label cap_tables command...   (cap_tables: tables the bound allows, or -)
  folder=$1; label=$2; tables=$3; shift 3
  set -- $("$measure" "$runs" "$data/$folder" "$@")
  awk -v label="$label" -v t="$1" -v rss="$2" -v mb="$mb" -v cp="$cp_time" \
      -v tables="$tables" -v table_mb="$table_mb" \
    'BEGIN { cap = tables == "-" ? "-" : sprintf("%.0f", 64 + tables * table_mb)
             printf "%-22s %9.1f %9.0f %8.2f %9.1f %9s\n", label, t * 1000, mb / t, t / cp, rss / 1024, cap }'
}

for natom in $sizes; do
  folder=atoms$natom
  make_doscar "$folder" "$natom"
  doscar="$data/$folder/DOSCAR"
  mb=$(awk -v b="$(wc -c < "$doscar")" 'BEGIN { print b / 1e6 }')
  cp_time=$("$measure" "$runs" "$data/$folder" cp DOSCAR copy | cut -d' ' -f1)
  echo
  echo "$natom atoms x 3001 points x 32 columns, $(printf '%.0f' "$mb") MB, $(nproc) cores"
  printf '%-22s %9s %9s %8s %9s %9s\n' "command" "ms" "MB/s" "x cp" "RSS MB" "RSS cap"
  row "$folder" "cat DOSCAR" - cat DOSCAR
  row "$folder" "cp DOSCAR copy" - cp DOSCAR copy
  row "$folder" "pdsplit -t" - "$build/pdsplit" -t
  row "$folder" "pdsplit -p $natom" 1 "$build/pdsplit" -p "$natom"
  row "$folder" "pdsplit -s1 1 $natom" 1 "$build/pdsplit" -s1 1 "$natom"
  row "$folder" "pdsplit -a" "$threads" "$build/pdsplit" -a
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
