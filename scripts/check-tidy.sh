#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over every source file of src/, using the
# compile commands of a configured and built tree (its generated sources must exist).
#   scripts/check-tidy.sh [BUILD_DIR] [JOBS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
jobs=${2:-${TAVVY_JOBS:-$(nproc)}}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "tidy: $build/compile_commands.json is missing (configure that tree first)" >&2
  exit 2
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Only files of src/ that the tree compiles; headers are checked through them.
if run-clang-tidy -p "$build" -j "$jobs" -quiet "$here/src/" >"$log" 2>&1; then
  echo "tidy: ok ($(grep -c '"file"' "$build/compile_commands.json") compile commands, src/ checked)"
else
  sed "s/\x1b\[[0-9;]*m//g" "$log" | grep -E "(warning|error):" | sort -u | head -n 100
  echo "tidy: clang-tidy found problems (full output above is cut to 100 lines)"
  exit 1
fi
