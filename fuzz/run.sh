#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds:  fuzz/run.sh NAME [SECONDS] [extra libFuzzer flags]
# Builds the instrumented targets with clang into build-fuzz/ first. The corpus grows in
# build-fuzz/corpus/NAME; the seeds in the seeds/ folder beside the target's CMakeLists.txt
# (fuzz/<folder>/seeds, the folder need not be spelt like NAME) are read too.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: fuzz/run.sh NAME [SECONDS]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
build="$here/build-fuzz"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTAVVY_FUZZ=ON -DTAVVY_TESTS=OFF -DTAVVY_BENCH=OFF -DTAVVY_ASSETS=OFF >/dev/null
fi
cmake --build "$build" --target "fuzz_$name"
mkdir -p "$build/corpus/$name"
seeds=()
for list in "$here"/fuzz/*/CMakeLists.txt; do
  if grep -Eq "tavvy_fuzzer\($name[[:space:]]" "$list" && [ -d "$(dirname "$list")/seeds" ]; then
    seeds+=("$(dirname "$list")/seeds")
  fi
done
# Undefined behaviour stops the run like a crash does (the build lets it recover by default).
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
exec "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 "$@" "$build/corpus/$name" "${seeds[@]}"
