#!/usr/bin/env bash
# broken_data.sh PROGRAM DATA_DIR OUTCOMES [JOBS]
# Runs PROGRAM headless for a few ticks over copies of DATA_DIR in which one file is
# missing, cut to half its size, replaced by random bytes of its size, empty, or a folder,
# and checks each run against the outcome table: its exit code, that its error stream
# names the file (in one line: said once), and that no run lasts 10 s. The cases run
# JOBS at a time (default 2).
set -uo pipefail
program=${1:?program}
data=$(cd "${2:?data folder}" && pwd)
outcomes=${3:?outcome table}
jobs=${4:-${TAVVY_JOBS:-2}}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
modes=(missing truncated random empty directory)

# The expected outcome of FILE in MODE: the first row whose pattern matches.
expected() {
  local file=$1 column=$(($2 + 2)) pattern
  while read -r pattern rest; do
    case $pattern in '#'* | '') continue ;; esac
    # shellcheck disable=SC2254
    case $file in $pattern) echo "$pattern $rest" | awk -v c="$column" '{print $c}'; return ;; esac
  done <"$outcomes"
  echo "?"
}

run_case() {
  local file=$1 mode=$2 want=$3 dir size start end code seconds lines
  dir="$work/$file.$mode"
  mkdir -p "$dir/Data"
  for f in "$data"/*; do
    [ "$(basename "$f")" = "$file" ] || ln -s "$f" "$dir/Data/"
  done
  size=$(stat -c %s "$data/$file")
  case $mode in
    missing) ;;
    truncated) head -c $((size / 2)) "$data/$file" >"$dir/Data/$file" ;;
    random) head -c "$size" /dev/urandom >"$dir/Data/$file" ;;
    empty) : >"$dir/Data/$file" ;;
    directory) mkdir "$dir/Data/$file" ;;
  esac
  start=$(date +%s%N)
  timeout 10 "$program" --headless --seed=1 --ticks=5 --data="$dir/Data" >"$dir/out" 2>"$dir/err"
  code=$?
  end=$(date +%s%N)
  seconds=$(awk -v n=$((end - start)) 'BEGIN {printf "%.2f", n / 1e9}')
  lines=$(grep -c -F "$dir/Data/$file" "$dir/err")
  local verdict=ok why=""
  if [ "$code" = 124 ]; then
    verdict=FAIL why="ran longer than 10 s"
  elif [ "$want" = "?" ]; then
    verdict=FAIL why="no row in the outcome table"
  elif [ "$code" != "${want%w}" ]; then
    verdict=FAIL why="exit code $code, expected ${want%w}"
  elif { [ "$want" != 0 ] && [ "$lines" != 1 ]; } || [ "$lines" -gt 1 ]; then
    verdict=FAIL why="the error stream names the file in $lines lines"
  fi
  printf '%-4s %-16s %-9s exit %-3s %5s s  %s\n' "$verdict" "$file" "$mode" "$code" "$seconds" "$why"
  if [ "$verdict" != ok ]; then
    sed 's/^/       | /' "$dir/err" | head -n 8
  fi
  rm -rf "$dir"
}
export -f run_case
export work data program

cases="$work/cases"
for f in "$data"/*; do
  file=$(basename "$f")
  for i in "${!modes[@]}"; do
    echo "$file ${modes[$i]} $(expected "$file" "$i")"
  done
done >"$cases"

total=$(wc -l <"$cases")
started=$(date +%s)
xargs -P "$jobs" -L 1 bash -c 'run_case "$@"' _ <"$cases" | tee "$work/results"
failed=$(grep -c '^FAIL' "$work/results")
echo "broken data: $total runs, $failed failed, $(($(date +%s) - started)) s in all"
[ "$failed" = 0 ]
