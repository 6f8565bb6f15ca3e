#!/bin/sh
# Writes a seed corpus for the fuzzer: small generated DOSCARs of every kind VASP writes, each
# behind a command line; some behind long options and followed by a CONTCAR and an INCAR (each
# after a NUL byte), among them the element sums, which read the CONTCAR.
#   Usage: make-corpus.sh DOSCAR_GEN DIR
set -eu
gen=$1 dir=$2 i=0
mkdir -p "$dir"
# seed OPTIONS...: one DOSCAR of the generator behind each command line.
seed() {
  for command in "-t" "-fp 2" "-a" "-s1 1 2" "-s2f 2 1 x" "-e"; do
    i=$((i + 1))
    "$gen" --natom 2 --ngrid 4 --seed "$i" "$@" "$dir/doscar.tmp"
    { echo "$command"; cat "$dir/doscar.tmp"; } > "$dir/seed-$i"
  done
}
for npcol in 3 4 9 16 6 8 18 32; do seed --npcol "$npcol"; done
for npcol in 12 16 36 64; do seed --noncollinear --npcol "$npcol"; done
for kind in "--total-only --npcol 18" "--md --npcol 9" "--header-only 5" "--header-only 6"; do seed $kind; done
for packer in gz xz bz2; do seed --noncollinear --npcol 64 --ngrid 2 --compress "$packer"; done
contcar='cell\n1.0\n 3 0 0\n 0 3 0\n 0 0 3\n Fe_pv O\n 1 1\nDirect\n 0 0 0\n 0.5 0.5 0.5\n'
incar='SYSTEM = x\nISPIN = 2 ; LSORBIT = .TRUE. ! soc\n'
for npcol in 9 16 18; do
  for command in "--structure=CONTCAR --quiet -t" "--efermi=1.5 --header -p 1" \
                 "--doscar=DOSCAR --orbitals=l --window=-5: -s1 1 2" "--noncollinear --moments -a" \
                 "--orbitals=l --header -fe slab" "--moments --gaussian=0.5 -e"; do
    i=$((i + 1))
    "$gen" --natom 2 --ngrid 4 --npcol "$npcol" --seed "$i" "$dir/doscar.tmp"
    { echo "$command"; cat "$dir/doscar.tmp"; printf "\\000$contcar\\000$incar"; } > "$dir/seed-$i"
  done
done
rm -f "$dir/doscar.tmp"
