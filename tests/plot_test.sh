#!/bin/sh
# Renders the plotting recipe on the bundled example and checks the result
# is a valid, non-empty PNG.  Exit 77 (skipped) only where gnuplot is absent.
#   plot_test.sh PDSPLIT EXAMPLES_DIR
set -eu
pdsplit=$1
examples=$2
if ! command -v gnuplot > /dev/null; then
  echo "gnuplot is not installed: skipping the plotting recipe (apt-get install gnuplot-nox)"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$examples/DOSCAR" "$scratch/"
cd "$scratch"
"$pdsplit" -t > /dev/null
"$pdsplit" -a > /dev/null
gnuplot -e "atoms=3; out='test.png'" "$examples/plot-dos.gp"
# PNG signature, and more than a blank canvas.
test "$(head -c 8 test.png | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a"
test "$(wc -c < test.png)" -gt 20000
echo "rendered $(wc -c < test.png) bytes"
