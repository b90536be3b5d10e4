#!/usr/bin/env bash
# Long run: the headless program plays TICKS autopilot ticks back to back (the autopilot
# starts a new game from the title after every game over) while its memory is sampled.
#
#   scripts/soak.sh [--asan] [TICKS] [SAMPLE_SECONDS]
#
# Plain: build/tavvyhop, 1,000,000 ticks by default. --asan: build-asan/tavvyhop (configure it
# as .ci/run does), 100,000 ticks by default. Prints one line per sample (seconds, ticks
# played, resident memory) and a summary: ticks per second, memory at the first sample, at
# the end and its peak, and the program's exit code. TAVVY_SOAK_BINARY picks another program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
asan=0
if [ "${1:-}" = "--asan" ]; then
  asan=1
  shift
fi
if [ "$asan" = 1 ]; then
  ticks=${1:-100000}
  binary=${TAVVY_SOAK_BINARY:-$here/build-asan/tavvyhop}
  export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
else
  ticks=${1:-1000000}
  binary=${TAVVY_SOAK_BINARY:-$here/build/tavvyhop}
fi
every=${2:-10}
[ -x "$binary" ] || { echo "soak: $binary is not built" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stats="$work/stats"
# The statistics file tells how far the run is: one line per tick.
"$binary" --headless --autopilot --seed=1 --ticks="$ticks" --stats="$stats" >"$work/out" 2>"$work/err" &
pid=$!
start=$(date +%s.%N)
first_rss=""
peak=0
rss=0
played=0
sample() {
  local now kb
  now=$(date +%s.%N)
  kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
  [ -n "$kb" ] || return 0
  played=$( (tail -n 1 "$stats" 2>/dev/null || true) | awk '{print $1 + 1}')
  played=${played:-0}
  rss=$kb
  # The first sample once the game runs: start-up memory is not the level a leak grows from.
  [ -n "$first_rss" ] || [ "$played" -eq 0 ] || first_rss=$kb
  [ "$kb" -gt "$peak" ] && peak=$kb
  printf 'soak: %8.1f s  %9d ticks  RSS %7d kB\n' "$(awk -v a="$now" -v b="$start" 'BEGIN {print a - b}')" "$played" "$kb"
}
sample
while kill -0 "$pid" 2>/dev/null; do
  for _ in $(seq "$every"); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 1
  done
  kill -0 "$pid" 2>/dev/null && sample
done
set +e
wait "$pid"
code=$?
set -e
end=$(date +%s.%N)
played=$( (tail -n 1 "$stats" 2>/dev/null || true) | awk '{print $1 + 1}')
seconds=$(awk -v a="$end" -v b="$start" 'BEGIN {print a - b}')
printf 'soak: %s ticks in %.1f s: %.1f ticks per second; RSS first %s kB, last %s kB, peak %s kB; exit code %d\n' \
  "${played:-0}" "$seconds" "$(awk -v t="${played:-0}" -v s="$seconds" 'BEGIN {print (s > 0 ? t / s : 0)}')" "${first_rss:-?}" "$rss" "$peak" "$code"
if [ -s "$work/err" ]; then
  echo "soak: the program's standard error:" >&2
  tail -n 20 "$work/err" >&2
fi
exit "$code"
