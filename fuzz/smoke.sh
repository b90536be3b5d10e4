#!/usr/bin/env bash
# Runs every fuzz target for SECONDS (default 60) from its committed seeds, JOBS at a time
# (default two; CI runs all side by side). Builds the instrumented targets with clang into
# build-fuzz/ first, on TAVVY_JOBS (or all) cores.
#   fuzz/smoke.sh [SECONDS] [JOBS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
jobs=${2:-2}
names=$(sed -n 's/^tavvy_fuzzer(\([a-zA-Z0-9_]*\)[[:space:]].*/\1/p' "$here"/fuzz/*/CMakeLists.txt | sort)
# Build all first, so that the runs do not build side by side.
build="$here/build-fuzz"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTAVVY_FUZZ=ON -DTAVVY_TESTS=OFF -DTAVVY_BENCH=OFF -DTAVVY_ASSETS=OFF >/dev/null
fi
targets=()
for n in $names; do targets+=("fuzz_$n"); done
cmake --build "$build" -j "${TAVVY_JOBS:-$(nproc)}" --target "${targets[@]}"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
export here seconds logs
set +e
printf '%s\n' $names | xargs -P "$jobs" -I{} bash -c \
  '"$here/fuzz/run.sh" {} "$seconds" >"$logs/{}.log" 2>&1; echo $? >"$logs/{}.code"'
set -e
failed=0
for n in $names; do
  code=$(cat "$logs/$n.code")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$n.log" | tail -n 1)
  echo "fuzz $n: exit $code, ${execs:-?} executions in ${seconds} s"
  if [ "$code" != 0 ]; then
    failed=1
    tail -n 40 "$logs/$n.log"
  fi
done
exit "$failed"
