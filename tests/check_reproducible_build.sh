#!/bin/sh
# Packs one source tree twice, in two folders of different paths and depths,
# and checks that Sumbrel.dll and the release archive come out byte for byte
# the same: no build paths and no times may leak into them.
# usage: check_reproducible_build.sh SOURCE_DIR SCRATCH_DIR
set -eu
source=$(cd "$1" && pwd)
scratch=$2
rm -rf "$scratch"
first="$scratch/first/Sumbrel"
second="$scratch/second/another/Sumbrel-copy"
mkdir -p "$first" "$second"
# One snapshot for both, so that edits during the run cannot tell them apart.
(cd "$source" && tar cf - --exclude=./build --exclude=./.git .) | (cd "$first" && tar xf -)
(cd "$first" && tar cf - .) | (cd "$second" && tar xf -)
for tree in "$first" "$second"; do
  "$tree/scripts/package" >"$tree.log" 2>&1 || { cat "$tree.log"; exit 1; }
done
status=0
for file in bin/Sumbrel.dll Sumbrel-*.zip; do
  built=$(cd "$first/build/release-windows" && ls $file)
  if cmp "$first/build/release-windows/$built" "$second/build/release-windows/$built"; then
    echo "identical: $built"
  else
    status=1
  fi
done
[ $status -eq 0 ] && rm -rf "$scratch"
exit $status
