#!/bin/sh
# Writes a seed corpus for the fuzzer: small generated DOSCARs of every
# projection, each behind a command line.  Usage: make-corpus.sh DOSCAR_GEN DIR
set -eu
gen=$1
dir=$2
mkdir -p "$dir"
i=0
for npcol in 3 4 9 16 6 8 18 32; do
  for command in "-t" "-fp 2" "-a" "-s1 1 2" "-s2f 2 1 x"; do
    i=$((i + 1))
    "$gen" --natom 2 --ngrid 4 --npcol "$npcol" --seed "$i" "$dir/doscar.tmp"
    { echo "$command"; cat "$dir/doscar.tmp"; } > "$dir/seed-$i"
  done
done
rm -f "$dir/doscar.tmp"
