#!/usr/bin/env bash
# A fuzz campaign: every target for SECONDS (default 3600, an hour) from its seeds and the
# corpus grown so far in build-fuzz/corpus/, two at a time (JOBS), then one line a target:
# executions, the coverage (edges) and features at the start and at the end, and the
# corpus units added. Crashes are left by libFuzzer in the current folder.
#   fuzz/campaign.sh [SECONDS] [JOBS] [NAME...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-3600}
jobs=${2:-2}
shift $(( $# >= 2 ? 2 : $# ))
names=${*:-$(sed -n 's/^tavvy_fuzzer(\([a-zA-Z0-9_]*\)[[:space:]].*/\1/p' "$here"/fuzz/*/CMakeLists.txt | sort)}
"$here/fuzz/smoke.sh" 1 "$jobs" >/dev/null  # builds the targets (and checks they start)
logs="$here/build-fuzz/campaign-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$logs"
export here seconds logs
set +e
printf '%s\n' $names | xargs -P "$jobs" -I{} bash -c \
  '"$here/fuzz/run.sh" {} "$seconds" >"$logs/{}.log" 2>&1; echo $? >"$logs/{}.code"'
set -e
printf '%-10s %5s %12s %13s %13s %9s\n' target exit executions "cov start" "cov end" "new units"
for n in $names; do
  log="$logs/$n.log"
  inited=$(grep -m1 'INITED' "$log" | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\).*/\1 \2 \3/p')
  done_=$(grep 'DONE\|#[0-9]*.*cov:' "$log" | tail -n 1 | sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\).*/\1 \2 \3/p')
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  read -r c0 f0 u0 <<<"${inited:-? ? 0}"
  read -r c1 f1 u1 <<<"${done_:-? ? 0}"
  printf '%-10s %5s %12s %13s %13s %9s\n' "$n" "$(cat "$logs/$n.code")" "${execs:-?}" "$c0/$f0" "$c1/$f1" \
    "$(( ${u1:-0} - ${u0:-0} ))"
done
echo "logs: $logs"
