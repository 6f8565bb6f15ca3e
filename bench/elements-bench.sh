#!/bin/sh
# Times the element sums (-e) and the orbital grouping (--orbitals=l)
# against the plain sum over every atom (-s1 1 NATOM), in rounds that run
# each command once in turn, so that the machine's load falls alike on all
# of them; prints the median of each and its ratio to -s1, with its peak
# resident memory.
#
#   bench/elements-bench.sh BUILD_DIR DATA_DIR [ROUNDS] [NATOM]
#
# The DOSCAR is the one bench/run-bench.sh uses (DATA_DIR/atomsNATOM,
# NATOM atoms x 3001 points x 32 columns, made when absent; NATOM 640 by
# default, 761 MB), beside it a POSCAR of three elements: Fe O Fe Ni, a
# quarter, a half, an eighth and an eighth of the atoms. -e writes three
# tables where -s1 writes one; each is 1.2 MB of text.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
data=$(cd "$2" && pwd)
rounds=${3:-5}
natom=${4:-640}
measure="$build/bench/measure"
folder="$data/atoms$natom"
"$here/generated-doscar.sh" "$build" "$folder" "$natom"
[ "$natom" -ge 8 ] || { echo "NATOM must be 8 or more" >&2; exit 2; }
fe=$((natom / 4)); o=$((natom / 2)); fe2=$((natom / 8)); ni=$((natom - fe - o - fe2))
printf 'bench\n1.0\n 9 0 0\n 0 9 0\n 0 0 9\n Fe O Fe Ni\n %d %d %d %d\nDirect\n' \
  "$fe" "$o" "$fe2" "$ni" > "$folder/POSCAR"

times=$(mktemp -d)
trap 'rm -rf "$times"' EXIT
# One round: each command once, its seconds and peak KiB appended to its file.
commands="s1 e orbitals_s1 orbitals_e cp"
run() {  # name command...
  name=$1; shift
  "$measure" 1 "$folder" "$@" >> "$times/$name"
}
for round in $(seq "$rounds"); do
  run cp cp DOSCAR copy
  run s1 "$build/pdsplit" -s1 1 "$natom"
  run e "$build/pdsplit" -e
  run orbitals_s1 "$build/pdsplit" --orbitals=l -s1 1 "$natom"
  run orbitals_e "$build/pdsplit" --orbitals=l -e
done
rm -f "$folder"/iSUMDOS* "$folder/copy"

median() {  # file column
  sort -g -k "$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'
}
s1=$(median "$times/s1" 1)
mb=$(awk -v b="$(wc -c < "$folder/DOSCAR")" 'BEGIN { printf "%.0f", b / 1e6 }')
echo "$natom atoms x 3001 points x 32 columns, $mb MB, $(nproc) cores, $rounds rounds;" \
     "Fe $((fe + fe2)) atoms in two runs, O $o, Ni $ni"
printf '%-34s %9s %9s %9s\n' "command" "ms" "x -s1" "RSS MB"
for name in $commands; do
  case $name in
    s1) label="pdsplit -s1 1 $natom" ;;
    e) label="pdsplit -e" ;;
    orbitals_s1) label="pdsplit --orbitals=l -s1 1 $natom" ;;
    orbitals_e) label="pdsplit --orbitals=l -e" ;;
    cp) label="cp DOSCAR copy" ;;
  esac
  t=$(median "$times/$name" 1)
  rss=$(sort -g -k 2 "$times/$name" | tail -n 1 | cut -d' ' -f2)
  awk -v label="$label" -v t="$t" -v s1="$s1" -v rss="$rss" \
    'BEGIN { printf "%-34s %9.1f %9.3f %9.1f\n", label, t * 1000, t / s1, rss / 1024 }'
done
