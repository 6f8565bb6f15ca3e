#!/bin/sh
# Writes a seed corpus for the fuzzer: small generated DOSCARs of every
# projection, each behind a command line; and some behind long options,
# followed by a CONTCAR and an INCAR (each after a NUL byte).
#   Usage: make-corpus.sh DOSCAR_GEN DIR
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
for npcol in 9 16 18; do
  for command in "--structure=CONTCAR --quiet -t" "--efermi=1.5 --header -p 1" \
                 "--doscar=DOSCAR --orbitals=l --window=-5: -s1 1 2" "--noncollinear --moments -a"; do
    i=$((i + 1))
    "$gen" --natom 2 --ngrid 4 --npcol "$npcol" --seed "$i" "$dir/doscar.tmp"
    {
      echo "$command"
      cat "$dir/doscar.tmp"
      printf '\000'
      printf 'cell\n1.0\n 3 0 0\n 0 3 0\n 0 0 3\n Fe_pv O\n 1 1\nDirect\n 0 0 0\n 0.5 0.5 0.5\n'
      printf '\000'
      printf 'SYSTEM = x\nISPIN = 2 ; LSORBIT = .TRUE. ! soc\n'
    } > "$dir/seed-$i"
  done
done
rm -f "$dir/doscar.tmp"
