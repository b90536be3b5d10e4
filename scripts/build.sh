#!/usr/bin/env bash
# Configures and builds into build/ (or $TAVVY_BUILD_DIR), installing what is missing first.
# Extra arguments go to CMake's configure step.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVVY_BUILD_DIR:-$here/build}
"$here/scripts/setup.sh"
if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
  cmake -S "$here" -B "$build" -G Ninja "$@"
fi
cmake --build "$build" -j "${TAVVY_JOBS:-$(nproc)}"
