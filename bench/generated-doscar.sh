#!/bin/sh
# The benchmarks' reference file: FOLDER/DOSCAR, NATOM atoms x 3001 points
# x 32 columns (spin-polarised, l,m-projected with f), made with the
# project's generator when it is absent, so that every benchmark times the
# same file for the same NATOM.
#
#   bench/generated-doscar.sh BUILD_DIR FOLDER NATOM
set -eu
if [ ! -f "$2/DOSCAR" ]; then
  mkdir -p "$2"
  echo "generating $2/DOSCAR ($3 atoms)..." >&2
  "$1/doscar_gen" --natom "$3" --ngrid 3001 --npcol 32 --seed 42 "$2/DOSCAR"
fi
