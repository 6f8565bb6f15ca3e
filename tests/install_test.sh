#!/bin/sh
# Installs into a scratch prefix, runs the installed binary on a generated
# DOSCAR and checks the manual page renders without a warning.
#   install_test.sh BUILD_DIR DOSCAR_GEN
set -eu
build=$1
gen=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
test -x "$scratch/prefix/bin/pdsplit"
page="$scratch/prefix/share/man/man1/pdsplit.1"
test -f "$page"

mkdir "$scratch/run"
cd "$scratch/run"
"$gen" --natom 2 --ngrid 20 --npcol 9 DOSCAR
"$scratch/prefix/bin/pdsplit" -s1 1 2 > out.txt
grep -q "D O N E! S U C C E S S F U L L Y" out.txt
test "$(wc -l < iSUMDOS)" -eq 20
"$scratch/prefix/bin/pdsplit" -h | grep -q "::: HELP :::"

# The page must render cleanly: groff with all warnings, and mandoc's
# linter where it is installed.
warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 > /dev/null)
test -z "$warnings" || { echo "groff: $warnings"; exit 1; }
if command -v mandoc > /dev/null; then
  mandoc -Tlint -W warning "$page"
fi
man -l "$page" 2>&1 > /dev/null | { ! grep .; }
echo "installed and ran from $scratch/prefix"
