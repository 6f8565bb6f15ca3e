#!/bin/sh
# The folders of src/ are layers. Bottom to top, with layers of one rank
# side by side (neither includes the other):
#   0 base; 1 numbers, sources; 2 doscar, output; 3 structure, blocks;
#   4 tables; 5 modes; 6 driver; 7 python.
# Fails on any include of the project's own headers that goes up a layer or
# across to one of the same rank, and on a file in no layer.
#
#   tests/layers_test.sh SOURCE_DIR
set -eu
cd "$1/src"
find . -name '*.h' -o -name '*.cc' | sort | xargs awk '
  BEGIN { rank["base"] = 0; rank["numbers"] = 1; rank["sources"] = 1
          rank["doscar"] = 2; rank["output"] = 2
          rank["structure"] = 3; rank["blocks"] = 3
          rank["tables"] = 4; rank["modes"] = 5; rank["driver"] = 6
          rank["python"] = 7; bad = 0 }
  FNR == 1 {
    split(FILENAME, part, "/"); layer = part[2]
    if (!(layer in rank)) { print FILENAME ": in no layer"; bad = 1 }
  }
  /^#include "[^"\/]+\// {
    target = $0; sub(/^#include "/, "", target); sub(/\/.*/, "", target)
    if (target != layer && (layer in rank) &&
        (!(target in rank) || rank[target] >= rank[layer])) {
      print FILENAME ":" FNR ": " layer " may not include " $2; bad = 1
    }
  }
  END { if (!bad) print "every include goes down a layer"; exit bad }'
