#!/bin/sh
# Installs into a scratch prefix, runs the installed binary on a generated
# DOSCAR, checks the manual page renders without a warning and the bash
# completion is installed, parses and completes; with an interpreter, that
# the Python package imports from its folder in the prefix and reads.
#   install_test.sh BUILD_DIR DOSCAR_GEN [PYTHON PACKAGES_DIR]
set -eu
build=$1 gen=$2
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
if [ $# -ge 4 ]; then
  PYTHONPATH="$scratch/prefix/$4" "$3" -c "import pdsplit
assert pdsplit.__file__.startswith('$scratch/prefix/'), pdsplit.__file__
assert pdsplit.read('DOSCAR').pdos.shape == (2, 20, 9)"
  # The figure maker beside the tool, taking the package installed with it, and run as a module.
  if "$3" -c "import matplotlib" 2> /dev/null; then
    printf 'x\n1.0\n1 0 0\n0 1 0\n0 0 1\nFe\n2\nDirect\n0 0 0\n0.5 0.5 0.5\n' > POSCAR
    test "$(env -u PYTHONPATH "$scratch/prefix/bin/pdsplit-plot" -o fig.svg --xmin=-20 --xmax=20)" = fig.svg
    grep -q "<svg" fig.svg
    test "$(PYTHONPATH="$scratch/prefix/$4" "$3" -m pdsplit.plot -o fig.png --dpi=50)" = fig.png
  fi
fi
"$scratch/prefix/bin/pdsplit" --version | grep -qx "pdsplit [0-9]*\.[0-9]*\.[0-9]*"

# The completion: where bash-completion looks for it, accepted by bash,
# and completing the settings, the groupings and the modes.
completion="$scratch/prefix/share/bash-completion/completions/pdsplit"
test -f "$completion"
bash -n "$completion"
completes() {
  # completes LINE EXPECTED: the completions of LINE, one a line, are EXPECTED.
  got=$(bash -c '. "$1"; COMP_LINE=$2; COMP_POINT=${#2}; _pdsplit; printf "%s\n" "${COMPREPLY[@]}"' \
        sh "$completion" "$1")
  test "$got" = "$2" || { echo "completion of '$1': got '$got', expected '$2'"; exit 1; }
}
completes "pdsplit --qu" "--quiet"
completes "pdsplit --orbitals=" "$(printf 'lm\nl\nd-split\nsum')"
completes "pdsplit --quiet -fs" "$(printf -- '-fs1\n-fs2')"
completes "pdsplit --efermi=1 -t --hea" "--header"
completes "pdsplit -t -- --" ""

# The page must render cleanly: groff with all warnings, and mandoc's
# linter where it is installed.
warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 > /dev/null)
test -z "$warnings" || { echo "groff: $warnings"; exit 1; }
if command -v mandoc > /dev/null; then
  mandoc -Tlint -W warning "$page"
fi
man -l "$page" 2>&1 > /dev/null | { ! grep .; }
echo "installed and ran from $scratch/prefix"
