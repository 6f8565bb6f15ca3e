#!/bin/sh
# The folders of src/ are layers: base at the bottom, input and output side
# by side above it (neither includes the other), modes above them, driver on
# top. Fails on any include of the project's own headers that goes up a
# layer or across between input and output, and on a file in no layer.
#
#   tests/layers_test.sh SOURCE_DIR
set -eu
cd "$1/src"

rank() {
  case "$1" in
    base) echo 0 ;;
    input | output) echo 1 ;;
    modes) echo 2 ;;
    driver) echo 3 ;;
    *) echo 9 ;;
  esac
}

found=$(
  find . -name '*.h' -o -name '*.cc' | sort | while IFS= read -r file; do
    layer=$(echo "$file" | cut -d/ -f2)
    if [ "$(rank "$layer")" -eq 9 ]; then
      echo "$file: in no layer"
      continue
    fi
    grep -n '^#include "[^/"]*/' "$file" | while IFS= read -r hit; do
      target=$(echo "$hit" | sed 's/^[0-9]*:#include "\([^/"]*\)\/.*/\1/')
      [ "$target" = "$layer" ] && continue
      if [ "$(rank "$target")" -ge "$(rank "$layer")" ]; then
        echo "$file:$hit: $layer may not include $target"
      fi
    done
  done
)
if [ -n "$found" ]; then
  echo "$found"
  exit 1
fi
echo "every include goes down a layer"
