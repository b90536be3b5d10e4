#!/usr/bin/env bash
# Plays every golden demo of tests/demos/ headless and compares its last statistics line and
# its frame hashes with NAME.expect (as the golden demo test does), without the test build:
#
#   scripts/check-demos.sh BUILD_DIR [DATA_DIR]
#
# BUILD_DIR holds the tavvyhop to try; DATA_DIR (default BUILD_DIR/Data) the data set the
# demos were recorded with. CI runs it with a clang++ build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: scripts/check-demos.sh BUILD_DIR [DATA_DIR]}" && pwd)
data=${2:-$build/Data}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
for dem in "$here"/tests/demos/*.dem; do
  name=$(basename "$dem" .dem)
  expect="${dem%.dem}.expect"
  every=$(awk '$1 == "frame-every" { print $2 }' "$expect")
  if ! "$build/tavvyhop" --headless --playdemo="$dem" --data="$data" --stats="$tmp/stats.txt" \
    --frame-every="$every" --frame-hashes="$tmp/hashes.txt"; then
    echo "check-demos: $name: the playback failed"
    failed=1
    continue
  fi
  {
    echo "frame-every $every"
    echo "ticks $(wc -l <"$tmp/stats.txt")"
    echo "final $(tail -n 1 "$tmp/stats.txt")"
    sed 's/^/frame /' "$tmp/hashes.txt"
  } >"$tmp/got.txt"
  if diff <(grep -v '^#' "$expect") "$tmp/got.txt" >"$tmp/diff.txt"; then
    echo "check-demos: $name: as expected"
  else
    echo "check-demos: $name: differs from $name.expect:"
    head -20 "$tmp/diff.txt"
    failed=1
  fi
done
exit $failed
