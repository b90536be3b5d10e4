#!/usr/bin/env bash
# Builds everything and runs the whole test suite with CTest.
# TAVVY_BUILD_DIR picks the build folder; extra arguments go to CMake's configure step.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVVY_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$@"
cd "$build"
ctest --output-on-failure -j "${TAVVY_JOBS:-$(nproc)}" --timeout 600
