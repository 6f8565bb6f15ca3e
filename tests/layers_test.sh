#!/bin/sh
# The folders of src/ are layers: base at the bottom, input and output side
# by side above it (neither includes the other), modes above them, driver on
# top. Fails on any include of the project's own headers that goes up a
# layer or across between input and output, and on a file in no layer.
#
#   tests/layers_test.sh SOURCE_DIR
set -eu
cd "$1/src"
find . -name '*.h' -o -name '*.cc' | sort | xargs awk '
  BEGIN { rank["base"] = 0; rank["input"] = 1; rank["output"] = 1
          rank["modes"] = 2; rank["driver"] = 3; bad = 0 }
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
