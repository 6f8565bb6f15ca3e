#!/bin/sh
# Writes a seed corpus for the fuzzer: small generated DOSCARs of every
# projection and every kind of file VASP writes (spin-orbit, the total DOS
# alone, molecular-dynamics runs, header only, compressed), each behind a
# command line.  Usage: make-corpus.sh DOSCAR_GEN DIR
set -eu
gen=$1
dir=$2
mkdir -p "$dir"
i=0
# seed OPTIONS...: one DOSCAR of the generator behind each command line.
seed() {
  for command in "-t" "-fp 2" "-a" "-s1 1 2" "-s2f 2 1 x"; do
    i=$((i + 1))
    "$gen" --natom 2 --ngrid 4 --seed "$i" "$@" "$dir/doscar.tmp"
    { echo "$command"; cat "$dir/doscar.tmp"; } > "$dir/seed-$i"
  done
}
for npcol in 3 4 9 16 6 8 18 32; do
  seed --npcol "$npcol"
done
for npcol in 12 16 36 64; do
  seed --noncollinear --npcol "$npcol"
done
seed --total-only --npcol 18
seed --md --npcol 9
seed --header-only 5
seed --header-only 6
for packer in gz xz bz2; do
  seed --noncollinear --npcol 64 --ngrid 2 --compress "$packer"
done
rm -f "$dir/doscar.tmp"
