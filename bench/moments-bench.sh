#!/bin/sh
# What --moments costs: each command is timed with and without --moments,
# the two alternated round by round (the order swapped every other round,
# so that a machine that slows down or speeds up weighs on both alike), on
# a generated DOSCAR of NATOM atoms x 3001 points x 32 columns
# (spin-polarised, l,m-projected with f; 256 atoms make about 304 MB).
# Prints, for each command, the median wall time with and without the
# option and their ratio, then the same for the processor time (user and
# system, all threads), which other work on a shared machine disturbs less.
# The tables of one run stay in place for the next, which writes over
# them. Then the micro-benchmark of the moments of one table.
#
#   bench/moments-bench.sh BUILD_DIR DATA_DIR [ROUNDS] [NATOM]
#
# ROUNDS defaults to 9, NATOM to 256; the file is DATA_DIR/atomsNATOM/DOSCAR
# (the folder run-bench.sh uses), generated when absent. Build what it needs
# first: `cmake --build build --target benchmarks`.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
data=$(cd "$2" && pwd)
rounds=${3:-9}
natom=${4:-256}
measure="$build/bench/measure"
folder="$data/atoms$natom"

"$here/generated-doscar.sh" "$build" "$folder" "$natom"
mb=$(awk -v b="$(wc -c < "$folder/DOSCAR")" 'BEGIN { printf "%.0f", b / 1e6 }')

# One run of the command in the data folder: wall and processor seconds.
once() {
  "$measure" 1 "$folder" "$@" | awk '{ print $1, $3 }'
}

# The median of column $1 of standard input.
median() {
  cut -d' ' -f"$1" | sort -g |
    awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

compare() {  # label, then the mode and its operands
  label=$1; shift
  without=$(mktemp); with=$(mktemp)
  round=1
  while [ "$round" -le "$rounds" ]; do
    if [ $((round % 2)) -eq 1 ]; then
      once "$build/pdsplit" "$@" >> "$without"
      once "$build/pdsplit" --moments "$@" >> "$with"
    else
      once "$build/pdsplit" --moments "$@" >> "$with"
      once "$build/pdsplit" "$@" >> "$without"
    fi
    round=$((round + 1))
  done
  a=$(median 1 < "$without"); b=$(median 1 < "$with")
  ca=$(median 2 < "$without"); cb=$(median 2 < "$with")
  rm -f "$without" "$with"
  awk -v label="$label" -v a="$a" -v b="$b" -v ca="$ca" -v cb="$cb" \
    'BEGIN { printf "%-26s %9.1f %9.1f %6.3f %9.1f %9.1f %6.3f\n",
             label, a * 1000, b * 1000, b / a, ca * 1000, cb * 1000, cb / ca }'
}

echo "$natom atoms x 3001 points x 32 columns, $mb MB, $(nproc) cores, $rounds rounds"
echo "                           wall time (ms)             processor time (ms)"
printf '%-26s %9s %9s %6s %9s %9s %6s\n' "command" "without" "with" "ratio" "without" "with" "ratio"
compare "-s1 1 $natom" -s1 1 "$natom"
compare "--orbitals=l -s1 1 $natom" --orbitals=l -s1 1 "$natom"
compare "-a" -a
rm -f "$folder"/iLDOS* "$folder"/iSUMDOS "$folder"/iSUMDOS.moments

# The moments alone, one table in a loop (when Google Benchmark was found).
if [ -x "$build/bench/moments_bench" ]; then
  "$build/bench/moments_bench" --benchmark_filter=fastest
fi
