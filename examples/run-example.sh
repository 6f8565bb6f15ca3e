#!/bin/sh
# Runs pdsplit on the bundled example DOSCAR in a scratch folder and shows
# what it wrote.  Usage: run-example.sh DOSCAR FOLDER  (PDSPLIT names the binary)
set -eu
doscar=$1
folder=$2
rm -rf "$folder"
mkdir -p "$folder"
cp "$doscar" "$folder/DOSCAR"
# The structure of the same run, for the sums by element.
cp "$(dirname "$doscar")/POSCAR" "$folder/POSCAR"
cd "$folder"
echo "\$ pdsplit -t"
"$PDSPLIT" -t
echo "\$ pdsplit -s1 1 2 metal"
"$PDSPLIT" -s1 1 2 metal | tail -n 5
echo "\$ pdsplit --orbitals=l --header -e"
"$PDSPLIT" --orbitals=l --header -e | tail -n 5
echo "\$ pdsplit -a"
"$PDSPLIT" -a | tail -n 5
echo "Files written in $folder:"
ls -l
echo "First lines of iDOS (energy, DOS up, DOS down, integrated up, integrated down):"
head -n 3 iDOS
