#!/usr/bin/env bash
# Builds everything and runs the whole test suite with CTest.
# TAVVY_BUILD_DIR picks the build folder; extra arguments go to CMake's configure step.
# TAVVY_TEST_EXCLUDE, a regular expression, leaves out the tests whose names match it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${TAVVY_BUILD_DIR:-$here/build}
"$here/scripts/build.sh" "$@"
cd "$build"
exclude=()
if [ -n "${TAVVY_TEST_EXCLUDE:-}" ]; then exclude=(-E "$TAVVY_TEST_EXCLUDE"); fi
ctest --output-on-failure -j "${TAVVY_JOBS:-$(nproc)}" --timeout 600 "${exclude[@]}"
